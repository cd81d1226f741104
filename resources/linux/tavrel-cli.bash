# bash completion for tavrel-cli                                  -*- shell-script -*-

# The letters of the drive map, as "A:", from the tool's own listing.
_tavrel_cli_letters()
{
    "$1" drives 2>/dev/null | awk 'NR > 2 && $1 ~ /^[A-Z]:$/ { print $1 }'
}

_tavrel_cli()
{
    local cur prev words cword
    _init_completion -n : || return

    local commands="compress expand verify info convert rescue batch check report bag files drives"
    local command="" i positional=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --bad | --picture | --retries | --fill-byte | --hash | --name | --start | --count) ((i++)) ;;
            --map) [[ $command == rescue ]] && ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                else
                    ((positional++))
                fi
                ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '-q --quiet -h --help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local options="-q --quiet -h --help" kind=""
    case $command in
        compress)
            options+=" --no-compression --force --raw --tvl"
            ((positional == 0)) && kind=drive || { ((positional == 1)) && kind=file; }
            ;;
        expand | verify)
            ((positional == 0)) && kind=file || { ((positional == 1)) && kind=drive; }
            ;;
        info)
            options+=" --map --json --bad --hash --picture"
            [[ $prev == --bad ]] && { _filedir; return; }
            [[ $prev == --picture ]] && { _filedir svg; return; }
            [[ $prev == --hash ]] && { COMPREPLY=($(compgen -W "md5 sha1 sha256 md5,sha1,sha256" -- "$cur")); return; }
            ((positional == 0)) && kind=file
            ;;
        rescue)
            options+=" --map --retries --fill-byte --no-compression --force --raw --tvl"
            case $prev in
                --map) _filedir; return ;;
                --retries | --fill-byte) return ;;
            esac
            ((positional == 0)) && kind=drive || { ((positional == 1)) && kind=file; }
            ;;
        batch)
            options+=" --name --start --count --rescue --raw --tvl --no-compression --no-verify --hash --json"
            options+=" --resume --bag --operator --box --note --ids --ask --each"
            case $prev in
                --hash) COMPREPLY=($(compgen -W "md5 sha1 sha256 md5,sha1,sha256" -- "$cur")); return ;;
                --ids) _filedir; return ;;
                --name | --start | --count | --resume | --operator | --box | --note | --each) return ;;
            esac
            # DRIVE... FOLDER: after the first drive, another drive or the folder.
            kind=drive
            ;;
        files)
            options+=" --map --wide --json --dfxml"
            [[ $prev == --map ]] && { _filedir; return; }
            ((positional == 0)) && kind=file
            ;;
        check | report | bag)
            ((positional == 0)) && { _filedir -d; return; }
            ;;
        convert)
            options+=" --no-compression --force --raw --tvl"
            ((positional < 2)) && kind=file
            ;;
        drives)
            options+=" --scan --assign"
            ;;
        *)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $kind in
        drive)
            if [[ $cur == /* || $cur == .* ]]; then
                _filedir
            else
                COMPREPLY=($(compgen -W "$(_tavrel_cli_letters "${words[0]}")" -- "$cur"))
                __ltrim_colon_completions "$cur"
            fi
            ;;
        file)
            _filedir
            ;;
    esac
} &&
    complete -F _tavrel_cli tavrel-cli

# ex: filetype=sh
