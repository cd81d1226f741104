#!/usr/bin/env bash
# Every command, option and exit code tavrel-cli's help names is in its man page, as the page reads;
# each command's help and its man section list the same exit codes, and the help shows no
# CLI11 type or validator names.
# Usage: man_options_test.sh TAVREL_CLI MAN_PAGE
set -uo pipefail
cli=$1
page=$2

if ! command -v man >/dev/null || ! command -v col >/dev/null; then
  if [ "${CI:-}" = "true" ]; then echo "FAIL: man or col is not installed" >&2; exit 1; fi
  echo "SKIP: man or col is not installed"; exit 77
fi
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b) || { echo "FAIL: man -l $page"; exit 1; }
[ -n "$text" ] || { echo "FAIL: $page renders empty"; exit 1; }

# Options are the words starting with a dash at the start of a help line, before its text.
options() { sed -n 's/^  \(-[^ ].*\)$/\1/p' | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' | tr -d ' ,'; }
# A whole option: --quiet must not count for -q.
has() { grep -qE -- "(^|[^A-Za-z0-9-])$1([^A-Za-z0-9-]|\$)" <<<"$text"; }
commands=$("$cli" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || { echo "FAIL: no commands found in --help"; exit 1; }
missing=()
found=0
for option in $("$cli" --help | options); do
  found=$((found + 1))
  has "$option" || missing+=("$option")
done
for command in $commands; do
  grep -qE "^   $command( |$)" <<<"$text" || missing+=("section for $command")
  for option in $("$cli" "$command" --help | options); do
    found=$((found + 1))
    has "$option" || missing+=("$command $option")
  done
done
# The codes of an "Exit codes:" table, and those a man section lists between its "Exit status" and
# its "Example", in order, on one line.
help_codes() { sed -n '/^Exit codes:/,/^$/p' | awk '/^  [0-9]+ / { printf "%s ", $1 }'; }
man_codes() {
  awk -v c="$1" '/^   [a-z]/ { on = ($1 == c) } /^[A-Z]/ { on = 0 } on' <<<"$text" |
    sed -n '/^ *Exit status$/,/^ *Example$/p' | awk 'NF == 1 && $1 ~ /^[0-9]+$/ { printf "%s ", $1 }'
}
# Every exit code the help lists has its entry under EXIT STATUS.
status=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$text")
for code in $("$cli" --help | help_codes); do
  grep -qE "^ +$code\$" <<<"$status" || missing+=("exit code $code")
done
# The tool's table holds every command's codes, and no other.
tool_codes=$("$cli" --help | help_codes)
used=" "
for command in $commands; do
  help=$("$cli" "$command" --help)
  codes=$(help_codes <<<"$help")
  for code in $codes; do
    [[ " $tool_codes" == *" $code "* ]] || missing+=("$command's exit code $code is not in --help")
    [[ "$used" == *" $code "* ]] || used+="$code "
  done
  [ -n "$codes" ] || missing+=("$command --help: no exit codes")
  [ "$codes" = "$(man_codes "$command")" ] ||
    missing+=("$command: --help lists exit codes ${codes:-none}, the page $(man_codes "$command")")
  examples=$(sed -n '/^Example:$/,/^$/p' <<<"$help" | grep -c "^  tavrel-cli $command ")
  [ "$examples" = 1 ] || missing+=("$command --help: $examples examples")
done
for code in $tool_codes; do
  [[ "$used" == *" $code "* ]] || missing+=("exit code $code in --help, of no command")
done
# CLI11 appends validators' names to the value's (--hash LIST:LIST, N:POSITIVE).
artifacts=$( { "$cli" --help; for command in $commands; do "$cli" "$command" --help; done; } |
  grep -E ':LIST|:INT|NONNEGATIVE|POSITIVE|\[0 - 100\]|REQUIRED|Needs:|Excludes:')
[ -z "$artifacts" ] || missing+=("help lines with CLI11's names: $artifacts")
[ "$found" -gt 5 ] || { echo "FAIL: only $found options found in --help"; exit 1; }
[ ${#missing[@]} = 0 ] || { printf 'FAIL: %s\n' "${missing[@]}"; exit 1; }
echo "PASS: $found options of $(wc -w <<<"$commands") commands are in the page"
