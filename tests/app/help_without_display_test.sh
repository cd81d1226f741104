#!/usr/bin/env bash
# The real dialog program asked for its usage and its version with no display at all, as from
# a console over SSH or a build script: each prints its text on standard output and exits 0
# without starting Qt, whose start on no display would end the program. The man page names
# every option and exit code the usage names.
# Usage: help_without_display_test.sh PATH_TO_TAVREL PATH_TO_TAVREL_CLI PATH_TO_MAN_PAGE
set -uo pipefail
tavrel=$1
cli=$2
page=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-help-XXXXXX")
trap 'rm -rf "$work"' EXIT
# No display of any kind, and a settings folder of its own, so nothing of the user's is read.
run() {
  (ulimit -c 0
   exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
     timeout 60 "$tavrel" "$@" >"$work/out" 2>"$work/err")
  code=$?
}

# The program's own line of the usage, every option and every exit code.
for ask in --help -h '/?'; do
  run /O:COMPRESS "$ask" /N
  [ "$code" = 0 ] || fail "tavrel $ask ended with $code: $(cat "$work/err")"
  [ -s "$work/err" ] && fail "tavrel $ask wrote to standard error: $(cat "$work/err")"
  head -n1 "$work/out" | grep -qxF 'Usage: tavrel [/O:COMPRESS|EXPAND|VERIFY] [/D:letter] [/F:path] [/A] [/U] [/N]' ||
    fail "tavrel $ask printed no usage line: $(cat "$work/out")"
  for want in '/O:EXPAND' '/O:VERIFY' '/D:letter' '/F:path' '/A ' '/U ' '/N ' '--version' \
              '0  done' '1  cancelled' '2  failed' '3  verify found a difference'; do
    grep -qF -- "$want" "$work/out" || fail "tavrel $ask: the usage lacks $want"
  done
done
[ -e "$work/config" ] && fail "the usage touched the settings folder"

# The version is the console tool's.
run --version
[ "$code" = 0 ] || fail "tavrel --version ended with $code: $(cat "$work/err")"
want=$("$cli" --version | sed 's/^tavrel-cli /tavrel /')
[ "$(cat "$work/out")" = "$want" ] || fail "tavrel --version printed '$(cat "$work/out")', not '$want'"

# The man page, as it reads: each option of the usage (up to its placeholder, which the page
# writes in capitals) heads an entry under OPTIONS, and each exit code one under EXIT STATUS.
if ! command -v man >/dev/null || ! command -v col >/dev/null; then
  if [ "${CI:-}" = "true" ]; then fail "man or col is not installed"; fi
  echo "SKIP: man or col is not installed"; exit 77
fi
run --help
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
[ -n "$text" ] || fail "$page renders empty"
options=$(sed -n 's/^  \([-/][^ ].*\)$/\1/p' "$work/out" | sed 's/  .*//; s/, /\n/g' | sed 's/:[a-z]*$/:/')
[ "$(wc -l <<<"$options")" -ge 10 ] || fail "too few options in the usage: $options"
entries=$(sed -n '/^OPTIONS/,/^[A-Z]/p' <<<"$text" | grep -E '^ {7}[-/]')
while read -r option; do
  grep -qE -- "(^ {7}|, )$(sed 's/[?*]/\\&/g' <<<"$option")" <<<"$entries" ||
    fail "the man page has no entry for $option"
done <<<"$options"
status=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$text")
for code in $(sed -n '/^Exit codes:/,$p' "$work/out" | awk '$1 ~ /^[0-9]+$/ { print $1 }'); do
  grep -qE "^ +$code\$" <<<"$status" || fail "the man page lacks exit code $code"
done

# The check above means something only if the dialog itself cannot start here.
run /N 2>/dev/null  # Qt ends the program with SIGABRT; the shell would report it
[ "$code" != 0 ] || fail "the dialog started with no display; the checks above prove nothing"
echo "PASS"
