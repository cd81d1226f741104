#!/usr/bin/env bash
# The Windows console tool under Wine against the Linux one, on the same diskette images made by
# mkfs.fat and mcopy in every format: what each writes must be byte for byte the same, and the
# exit codes too. Drives A: and B: are the images, through the prefix's dosdevices links, so
# the Windows tool opens them as \\.\A: the way it opens a real drive.
# Usage: wine_test.sh LINUX_CLI WINDOWS_CLI_EXE
set -uo pipefail
linux=$(realpath -m -- "$1")  # absolute: the test works in a folder of its own
exe=$(realpath -m -- "$2")

. "$(dirname "$0")/wine_common.sh"
need_wine "$exe"
[ -x "$linux" ] && [ -r "$exe" ] || skip "user $(id -un) cannot run $linux or read $exe"

# Root may write anywhere, under Wine too; a read-only folder refuses only another user. So
# root runs the test as nobody, in a folder of nobody's.
if [ "$(id -u)" = 0 ] && [ -z "${TAVREL_WINE_DIR:-}" ]; then
  command -v setpriv >/dev/null || skip "setpriv is missing (to run as nobody)"
  dir=$(mktemp -d /tmp/tavrel-wine.XXXXXX) && chown 65534:65534 "$dir" || exit 1
  setpriv --reuid=65534 --regid=65534 --clear-groups \
    env TAVREL_WINE_DIR="$dir" HOME="$dir" "$0" "$@"
  status=$?
  rm -rf "$dir"
  exit $status
fi
dir=${TAVREL_WINE_DIR:-$(mktemp -d /tmp/tavrel-wine.XXXXXX)}
trap 'wineserver -k >/dev/null 2>&1; rm -rf "${dir:?}"/*' EXIT
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
# A cold prefix costs seconds; it is made once and serves every case.
wine cmd /c exit >/dev/null 2>&1 || skip "wine cannot run programs here"
# A server that shuts down its prefix between two runs may drop the next run's connection ("wine
# client error: recvmsg"), which under load happens; one that stays until the end does not.
wineserver -k; wineserver -p
wine "$exe" --version >/dev/null 2>&1 || skip "wine cannot run $exe"
work=$dir/work
mkdir -p "$work"
cd "$work" || exit 1

# DRIVE IMAGE: links the letter to the image for the Windows tool.
map() { ln -sfn "$2" "$WINEPREFIX/dosdevices/${1,,}::"; }
win() { wine "$exe" "$@"; }
lin() { "$linux" "$@"; }
same() { cmp -s "$1" "$2" || fail "$3: $1 and $2 differ"; }
code() { [ "$1" = "$2" ] || fail "$3: exit code $1 under Wine, $2 on Linux"; }

make_floppy() {  # PATH KB DESCRIPTOR
  mkfs.fat -C -M "$3" "$1" "$2" >/dev/null || return 1
  head -c 30000 /dev/urandom >"$work/program.bin"
  seq 1 400 | sed 's/^/Line of a text file on a diskette, number /' >"$work/readme.txt"
  MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$work/program.bin" ::PROGRAM.BIN &&
    MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$work/readme.txt" ::README.TXT
}

for format in 360:0xFD 720:0xF9 1200:0xF9 1440:0xF9 1440:0xF0; do
  kb=${format%%:*}; desc=${format##*:}; f=$kb-$desc
  make_floppy "$work/$f.floppy" "$kb" "$desc" || { fail "$f: mkfs.fat"; continue; }
  map A "$work/$f.floppy"

  # compress
  win -q compress A: "$f.win.tvl"; w=$?
  lin -q compress "$work/$f.floppy" "$f.lin.tvl"; l=$?
  code $w $l "$f compress"; same "$f.win.tvl" "$f.lin.tvl" "$f compress"

  # verify, the same diskette and one with a changed byte
  win -q verify "$f.win.tvl" A:; w=$?
  code $w 0 "$f verify of the same diskette"
  cp "$work/$f.floppy" "$work/$f.changed"
  printf '\x5a' | dd of="$work/$f.changed" bs=1 seek=$((kb * 1024 - 700)) conv=notrunc status=none
  map B "$work/$f.changed"
  win verify "$f.win.tvl" B: >"$f.win.diff" 2>&1; w=$?
  lin verify "$f.lin.tvl" "$work/$f.changed" >"$f.lin.diff" 2>&1; l=$?
  code $w 3 "$f verify of a changed diskette"; code $w $l "$f verify of a changed diskette"
  [ "$(grep 'First difference' "$f.win.diff" | tr -d '\r')" = "$(grep 'First difference' "$f.lin.diff")" ] &&
    grep -q 'First difference' "$f.lin.diff" ||
    fail "$f verify: the first difference is reported differently: $(cat "$f.win.diff")"

  # expand onto a blank diskette of the format
  mkfs.fat -C -M "$desc" "$work/$f.blank" "$kb" >/dev/null
  cp "$work/$f.blank" "$work/$f.blank-lin"
  map B "$work/$f.blank"
  win -q expand "$f.win.tvl" B:; w=$?
  lin -q expand "$f.lin.tvl" "$work/$f.blank-lin"; l=$?
  code $w $l "$f expand"; same "$work/$f.blank" "$work/$f.blank-lin" "$f expand"
  same "$work/$f.blank" "$work/$f.floppy" "$f expand against the original"

  # info
  for how in "" --map --json "--hash md5,sha1,sha256"; do
    win info $how "$f.win.tvl" 2>&1 | tr -d '\r' >"$f.win.info"; w=${PIPESTATUS[0]}
    lin info $how "$f.lin.tvl" 2>&1 | sed "s/$f\.lin\.tvl/$f.win.tvl/g" >"$f.lin.info"; l=${PIPESTATUS[0]}
    code $w $l "$f info $how"; same "$f.win.info" "$f.lin.info" "$f info $how"
  done

  # convert, both ways
  win -q convert "$f.win.tvl" "$f.win.raw"; w=$?
  lin -q convert "$f.lin.tvl" "$f.lin.raw"; l=$?
  code $w $l "$f convert to raw"; same "$f.win.raw" "$f.lin.raw" "$f convert to raw"
  win -q convert "$f.win.raw" "$f.win.back.tvl"; w=$?
  lin -q convert "$f.lin.raw" "$f.lin.back.tvl"; l=$?
  code $w $l "$f convert to an image"; same "$f.win.back.tvl" "$f.lin.back.tvl" "$f convert back"

  # rescue of a sound diskette: the image as compress makes it
  win -q rescue A: "$f.win.rescue"; w=$?
  lin -q rescue "$work/$f.floppy" "$f.lin.rescue"; l=$?
  code $w $l "$f rescue"; same "$f.win.rescue" "$f.lin.rescue" "$f rescue"
done

# The formats a .tvl cannot hold, imaged raw through the same drive letters: single-sided (one
# head in the addressing), DMF and 2.88 MB (36 sectors, the longest track).
for made in "160:-f 160" "dmf:-t 80 -h 2 -s 21" "2880:-f 2880"; do
  f=${made%%:*}; floppy=$work/$f.raw-floppy
  # shellcheck disable=SC2086  # the mformat options are words of their own
  MTOOLS_SKIP_CHECK=1 mformat -C -i "$floppy" ${made#*:} :: &&
    MTOOLS_SKIP_CHECK=1 mcopy -i "$floppy" "$work/readme.txt" ::README.TXT ||
    { fail "$f: mformat"; continue; }
  map A "$floppy"
  win -q compress A: "$f.win.img"; w=$?
  lin -q compress "$floppy" "$f.lin.img"; l=$?
  code $w $l "$f raw compress"; code $w 0 "$f raw compress"
  same "$f.win.img" "$floppy" "$f raw compress"
  win -q verify "$f.win.img" A:; code $? 0 "$f raw verify"
  win info --json "$f.win.img" 2>&1 | tr -d '\r' >"$f.win.info"
  lin info --json "$f.lin.img" 2>&1 | sed "s/$f\.lin\.img/$f.win.img/g" >"$f.lin.info"
  same "$f.win.info" "$f.lin.info" "$f raw info"
  head -c "$(stat -c %s "$floppy")" /dev/zero >"$work/$f.raw-blank"
  map B "$work/$f.raw-blank"
  win -q expand "$f.win.img" B:; code $? 0 "$f raw expand"
  same "$work/$f.raw-blank" "$floppy" "$f raw expand"
  win -q compress A: "$f.win.tvl"; w=$?
  lin -q compress "$floppy" "$f.lin.tvl" 2>/dev/null; l=$?
  code $w $l "$f compress to a .tvl"; code $w 2 "$f compress to a .tvl"
  [ ! -e "$f.win.tvl" ] || fail "$f: a .tvl was written for a format it cannot hold"
done

# Error paths: exit codes as on Linux, texts from the system.
f=1440-0xF0
map A "$work/$f.floppy"; map B "$work/$f.blank"
win -q compress Q: q.tvl >err.txt 2>&1; code $? 2 "compress from a letter with no drive"
win -q expand missing.tvl B: >err.txt 2>&1; w=$?
lin -q expand missing.tvl "$work/$f.blank-lin" >/dev/null 2>&1; code $w $? "expand of a missing image"
grep -qi 'not found\|cannot find' err.txt || fail "a missing image: no system text: $(cat err.txt)"
! grep -q $'^\r*$' err.txt || fail "a missing image: the system's line break left in: $(cat -A err.txt)"
head -c 5000 /dev/urandom >corrupt.img
win -q info corrupt.img >/dev/null 2>&1; w=$?
lin -q info corrupt.img >/dev/null 2>&1; code $w $? "info of a corrupt image"
win -q compress A: "$f.win.tvl" >err.txt 2>&1; w=$?
lin -q compress "$work/$f.floppy" "$f.lin.tvl" >/dev/null 2>&1; code $w $? "compress onto an existing image"
grep -q -- '--force' err.txt || fail "an existing output: no word of --force: $(cat err.txt)"

mkdir ro && chmod 555 ro
win -q compress A: ro/new.tvl >err.txt 2>&1; w=$?
lin -q compress "$work/$f.floppy" ro/new.tvl >/dev/null 2>&1; code $w $? "compress into a read-only folder"
grep -qi 'access.*denied' err.txt || fail "a read-only folder: not the system's text: $(cat err.txt)"
# A read-only image is refused by the engine itself, with the system's code for it.
echo older >readonly.win && echo older >readonly.lin && chmod 444 readonly.win readonly.lin
win -q compress --force A: readonly.win >err.txt 2>&1; w=$?
lin -q compress --force "$work/$f.floppy" readonly.lin >/dev/null 2>&1; l=$?
code $w $l "compress over a read-only image"; code $w 2 "compress over a read-only image"
same readonly.win readonly.lin "a read-only image"
grep -qi 'access.*denied' err.txt || fail "a read-only image: not the system's text: $(cat err.txt)"

# --- Replacing an image keeps the replaced file's attributes, as Linux keeps its mode ---
# Wine's cmd sometimes prints nothing under load (seen while the VM test ran beside it): asked
# again, up to three times, before its answer counts.
attrs() {
  local out
  for _ in 1 2 3; do
    out=$(wine cmd /c attrib "$1" 2>/dev/null | sed 's/[A-Z]:\\.*//')
    [ -n "${out//[[:space:]]/}" ] && break
  done
  printf '%s\n' "$out"
}
echo older >hidden.tvl && wine cmd /c attrib +h hidden.tvl >/dev/null 2>&1
win -q compress --force A: hidden.tvl; code $? 0 "compress over a hidden image"
attrs hidden.tvl | grep -q H || fail "a hidden image is no longer hidden: $(attrs hidden.tvl)"
# Not through the engine, which refuses a read-only image: replaced, and still read-only.
echo older >readonly.win.raw && echo older >readonly.lin.raw && chmod 444 readonly.*.raw
win -q convert --force "$f.win.tvl" readonly.win.raw; w=$?
lin -q convert --force "$f.lin.tvl" readonly.lin.raw; code $w $? "convert over a read-only output"
same readonly.win.raw readonly.lin.raw "convert over a read-only output"
attrs readonly.win.raw | grep -q R || fail "a read-only output lost its mark: $(attrs readonly.win.raw)"
# --- end of the attributes block ---

# Names with accents: UTF-8 on the command line and in the file system.
win -q compress A: "Diskette été.tvl"; code $? 0 "compress to a name with accents"
[ -f "Diskette été.tvl" ] || fail "the name with accents did not arrive as UTF-8: $(ls)"

# ---- The drive map on Windows: [Drives] in %APPDATA%\tavrel.INI, and a path as DRIVE ----
# C=, the system's own drive, must give way to the image; B= names a file that is not there.
ini=$(win drives | tr -d '\r' | sed -n 's/^Profile: //p')
[ -n "$ini" ] || fail "drives names no profile file"
printf '[Drives]\r\nC=%s\r\nB=%s\r\n' "$(winepath -w "$work/$f.floppy")" 'Z:\nowhere\missing.img' \
  >"$(winepath -u "${ini:-x}")"
win -q compress C: mapped.win.tvl; code $? 0 "compress through a letter of [Drives]"
same mapped.win.tvl "$f.lin.tvl" "compress through a letter of [Drives]"
win drives | tr -d '\r' | grep -q "^C: *profile .*$f.floppy" || fail "drives lists no [Drives] letter: $(win drives)"
win -q compress "$(winepath -w "$work/$f.floppy")" path.win.tvl; code $? 0 "compress from a path as DRIVE"
same path.win.tvl "$f.lin.tvl" "compress from a path as DRIVE"
# The message names the path the map gives, each system's own spelling of the same file.
win -q compress B: missing.win.tvl 2>&1 | tr -d '\r' | sed 's|Z:\\nowhere\\missing\.img|/nowhere/missing.img|' \
  >err.win; w=${PIPESTATUS[0]}
printf '[Drives]\nB=/nowhere/missing.img\n' >tavrel.INI
env XDG_CONFIG_HOME="$work" "$linux" -q compress B: missing.lin.tvl >err.lin 2>&1; l=$?
code $w $l "a [Drives] letter naming a missing file"; same err.win err.lin "a [Drives] letter naming a missing file"
# ---- end of the drive map ----

# ---- Names and paths through the wide calls, text through a pipe as UTF-8 ----
# Wine here reads the A calls in its ANSI code page, not the manifest's UTF-8 (as Windows before
# 1903 does): the tool must take its command line and paths wide.
win compress A: "Büro 1994.tvl" >out.txt 2>&1; code $? 0 "compress to Büro 1994.tvl"
same "Büro 1994.tvl" "$f.lin.tvl" "compress to Büro 1994.tvl"
grep -q $'to B\xc3\xbcro 1994.tvl in' out.txt || fail "the summary in a pipe is not UTF-8: $(od -c out.txt)"
win info "Büro 1994.tvl" >out.txt 2>&1; code $? 0 "info of Büro 1994.tvl"
[ "$(head -n 1 out.txt | od -An -tx1 | tr -d ' \n')" = "$(printf 'Büro 1994.tvl\r\n' | od -An -tx1 | tr -d ' \n')" ] ||
  fail "info through a pipe: not the UTF-8 bytes of the name: $(head -n 1 out.txt | od -c)"
win -q compress A: "Büro 1994.tvl" >err.txt 2>&1; code $? 2 "compress onto Büro 1994.tvl without --force"
grep -q -- '--force' err.txt || fail "an existing Büro 1994.tvl: no word of --force: $(cat err.txt)"
# A Latin-1 terminal: Wine hands the program the command line decoded from the terminal's
# charset; the name must come through with its umlaut. (Wine's ANSI code page then has the
# umlaut too, so this cannot tell the wide command line from the A one: a real 1809 can.)
# The locale is made for the test where the system has none (glibc's localedef, from locales).
latin=(env LC_ALL=de_DE.ISO-8859-1)
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.iso88591'; then
  mkdir -p "$dir/locale" && localedef -i de_DE -f ISO-8859-1 "$dir/locale/de_DE.ISO-8859-1" >/dev/null 2>&1 ||
    fail "cannot make a de_DE.ISO-8859-1 locale with localedef (package locales)"
  latin=(env LOCPATH="$dir/locale" LC_ALL=de_DE.ISO-8859-1)
fi
name=$(printf 'B\xfcro latin.tvl')
"${latin[@]}" wine "$exe" -q compress A: "$name"; code $? 0 "compress to a Latin-1 name"
# Wine names files in the terminal's charset too: the name is there in Latin-1 bytes.
[ -f "$name" ] || fail "a Latin-1 name did not arrive as Büro: $(ls | grep -a latin | od -c | head -1)"
"${latin[@]}" wine "$exe" -q info "$name" >/dev/null; code $? 0 "info of a Latin-1 name"
# A path of about 300 characters: the file is written whole under its full name, or the run
# fails; never a success with a cut name. winepath -w cuts at 260, so the form is made by hand.
long=$work/$(printf 'x%.0s' $(seq 120))/$(printf 'y%.0s' $(seq 120))
mkdir -p "$long"
wlong="Z:${long//\//\\}\\a diskette image of 1994.tvl"
[ ${#wlong} -gt 290 ] || fail "the long path has only ${#wlong} characters"
win compress A: "$wlong" >out.txt 2>&1; w=$?
if [ $w -eq 0 ]; then
  same "$long/a diskette image of 1994.tvl" "$f.lin.tvl" "compress to a path of ${#wlong} characters"
  grep -qF "to $wlong in" out.txt || fail "a long path: the summary names another file: $(cat out.txt)"
  win -q verify "$wlong" A:; code $? 0 "verify of an image at a path of ${#wlong} characters"
else
  grep -q . out.txt || fail "a long path failed without a word"
fi
left=$(ls -A "$long")
if [ $w -eq 0 ]; then expected="a diskette image of 1994.tvl"; else expected=""; fi
[ "$left" = "$expected" ] || fail "a long path (exit code $w) left: $left"
# ---- end of the names and paths ----

[ $failures -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "PASS: every format and command wrote under Wine what it writes on Linux"
