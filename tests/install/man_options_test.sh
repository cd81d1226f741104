#!/usr/bin/env bash
# Every command, option and exit code tavrel-cli's help names is in its man page, as the page reads.
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
options() { sed -n 's/^ *\(-[^ ].*\)$/\1/p' | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' | tr -d ' ,'; }
# A whole option: --quiet must not count for -q.
has() { grep -qE -- "(^|[^A-Za-z0-9-])$1([^A-Za-z0-9-]|\$)" <<<"$text"; }
commands=$("$cli" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
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
# Every exit code the help lists has its entry under EXIT STATUS.
status=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$text")
for code in $("$cli" --help | sed -n '/^Exit codes:/,/^$/p' | awk 'NR > 1 && $1 ~ /^[0-9]+$/ { print $1 }'); do
  grep -qE "^ +$code\$" <<<"$status" || missing+=("exit code $code")
done
[ "$found" -gt 5 ] || { echo "FAIL: only $found options found in --help"; exit 1; }
[ ${#missing[@]} = 0 ] || { echo "FAIL: not in $page: ${missing[*]}"; exit 1; }
echo "PASS: $found options of $(wc -w <<<"$commands") commands are in the page"
