#!/usr/bin/env bash
# Builds the Debian package from this build, unpacks it into a scratch root and uses what it
# installed: the programs, the desktop entry, the metainfo, the man pages, the MIME type and
# the completion, then lets lintian judge the package.
# Usage: package_test.sh CMAKE CPACK BUILD_DIR
set -uo pipefail
cmake=$1
cpack=$2
build=$3

skip() {
  if [ "${CI:-}" = "true" ]; then echo "FAIL: $1" >&2; exit 1; fi
  echo "SKIP: $1"; exit 77
}
fail() { echo "FAIL: $*"; exit 1; }
for tool in dpkg-deb dpkg-shlibdeps fakeroot lintian desktop-file-validate appstreamcli man \
            update-mime-database gio file mkfs.fat mcopy timeout; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -f /usr/share/bash-completion/bash_completion ] || skip "bash-completion is not installed"

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

# 1. The package itself.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/out/tavrel_*_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "no single tavrel_VERSION_ARCH.deb: ${debs[*]}"
deb=${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
case $depends in
  *libqt6widgets6*) ;;
  *) fail "Depends does not name the Qt library tavrel links: '$depends'" ;;
esac
[ "$(dpkg-deb -f "$deb" Recommends)" = "udisks2, polkitd, fuse3" ] ||
  fail "Recommends is not the drive-opening services and fuse3: '$(dpkg-deb -f "$deb" Recommends)'"
root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
bin="$root/usr/bin"
share="$root/usr/share"

# 2. The console tool from the package: its version and a round trip on a FAT diskette.
version=$("$bin/tavrel-cli" --version) || fail "tavrel-cli --version failed"
[ "$version" = "tavrel-cli $(dpkg-deb -f "$deb" Version)" ] ||
  fail "version '$version' is not the package's"
mkfs.fat -C -M 0xF0 "$work/disk.raw" 1440 >/dev/null 2>&1 || skip "mkfs.fat failed"
seq 1 20000 >"$work/NUMBERS.TXT"
MTOOLS_SKIP_CHECK=1 mcopy -i "$work/disk.raw" "$work/NUMBERS.TXT" ::/ || skip "mcopy failed"
"$bin/tavrel-cli" -q compress "$work/disk.raw" "$work/disk.tvl" || fail "compress failed"
"$bin/tavrel-cli" -q verify "$work/disk.tvl" "$work/disk.raw" || fail "verify failed ($?)"
# The listing comes from the module the package puts in /usr/lib/ARCH/tavrel, loaded only by a
# listing: the package depends on The Sleuth Kit's library for it, the tool itself does not.
ls "$root"/usr/lib/*/tavrel/tavrel-listing.so >/dev/null 2>&1 || fail "the listing module is not installed"
case $depends in
  *libtsk*) ;;
  *) fail "Depends does not name The Sleuth Kit's library the listing module links: '$depends'" ;;
esac
listed=$("$bin/tavrel-cli" files "$work/disk.tvl") || fail "files failed ($?): $listed"
case $listed in
  *NUMBERS.TXT*) ;;
  *) fail "files does not list NUMBERS.TXT: $listed" ;;
esac
if ldd "$bin/tavrel-cli" | grep -q libtsk; then fail "tavrel-cli itself links The Sleuth Kit"; fi
# libxml2 is loaded by the tool when it first writes XML, so only the package names it.
case $depends in
  *libxml2*) ;;
  *) fail "Depends does not name libxml2, which tavrel-cli loads to write XML: '$depends'" ;;
esac
if ldd "$bin/tavrel-cli" | grep -q libxml2; then fail "tavrel-cli itself links libxml2"; fi
dfxml=$("$bin/tavrel-cli" files --dfxml "$work/disk.tvl") || fail "files --dfxml failed ($?): $dfxml"
case $dfxml in
  *NUMBERS.TXT*) ;;
  *) fail "files --dfxml does not name NUMBERS.TXT: $dfxml" ;;
esac
# The practice drive from the package starts and says how it is used.
"$bin/tavrel-practice-drive" --help | grep -q "Usage: tavrel-practice-drive" ||
  fail "tavrel-practice-drive --help shows no usage"

# 3. The dialog from the package, offscreen, started as "Open with Tavrel" starts it on an
# image (the desktop entry's Exec line with the file for %f), verifying through a mapped
# letter; it closes by itself when the job ends.
desktop="$share/applications/tavrel.desktop"
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
echo "desktop-file-validate: ${out:-no remarks}"
read -ra exec_line <<<"$(sed -n 's/^Exec=//p' "$desktop")"
[ "${exec_line[0]}" = tavrel ] || fail "Exec does not start tavrel: ${exec_line[*]}"
args=()
for word in "${exec_line[@]:1}"; do args+=("${word//%f/$work/disk.tvl}"); done
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
printf '[Drives]\nA=%s\n' "$work/disk.raw" >"$XDG_CONFIG_HOME/tavrel.INI"
QT_QPA_PLATFORM=offscreen timeout 120 "$bin/tavrel" "${args[@]}" /O:VERIFY /D:A /A /N \
  >"$work/tavrel.log" 2>&1
code=$?
[ "$code" = 0 ] || { cat "$work/tavrel.log"; fail "the dialog's verify ended with $code"; }

# 4. The metainfo and the icons.
metainfo=("$share"/metainfo/*.metainfo.xml)
out=$(appstreamcli validate --no-net "${metainfo[@]}" 2>&1) || fail "appstreamcli: $out"
echo "appstreamcli validate --no-net: $out"
for size in 16x16 32x32 48x48 64x64 128x128; do
  for icon in apps/tavrel mimetypes/application-x-tavrel-image; do
    png="$share/icons/hicolor/$size/$icon.png"
    file -b "$png" | grep -q "PNG image data, ${size/x/ x }" || fail "$png is not a $size PNG"
  done
done
[ -s "$share/icons/hicolor/scalable/apps/tavrel.svg" ] || fail "no scalable icon"
mkdir -p "$work/mime"
cp -r "$share/mime/packages" "$work/mime/"
XDG_DATA_DIRS="$work" update-mime-database "$work/mime" >"$work/mime.log" 2>&1 &&
  ! [ -s "$work/mime.log" ] || fail "update-mime-database: $(cat "$work/mime.log")"
grep -q 'application/x-tavrel-image:\*\.tvl' "$work/mime/globs2" || fail "no glob for *.tvl"
# What a file manager sees: an image by its name, or by its first bytes under any name.
cp "$work/disk.tvl" "$work/by-content"
printf 'Dk\005\001' | cat - "$work/disk.raw" >"$work/bad-media-code"
printf 'Dk\004\002' | cat - "$work/disk.raw" >"$work/bad-method"
cp "$work/disk.raw" "$work/raw.tvl"
type_of() {
  XDG_DATA_DIRS="$work:/usr/share" gio info -a standard::content-type "$1" |
    sed -n 's/.*standard::content-type: //p'
}
for file in raw.tvl by-content bad-media-code bad-method; do
  case $file:$(type_of "$work/$file") in
    raw.tvl:application/x-tavrel-image | by-content:application/x-tavrel-image) ;;
    bad-*:application/x-tavrel-image | raw.tvl:* | by-content:*)
      fail "$file is taken for $(type_of "$work/$file")" ;;
  esac
done

# 5. Every man page is installed in its section and renders without a warning: the programs
# in section 1, the file formats in section 5.
pages=$(cd "$share/man" && find . -type f | sort)
[ "$pages" = "$(printf './man1/tavrel-cli.1.gz
./man1/tavrel-practice-drive.1.gz
./man1/tavrel.1.gz
./man5/tavrel-formats.5.gz')" ] ||
  fail "the man pages installed are not the four expected: $pages"
for page in man1/tavrel-cli.1 man1/tavrel.1 man1/tavrel-practice-drive.1 man5/tavrel-formats.5; do
  warnings=$(MANWIDTH=80 man --warnings -l "$share/man/$page.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

# 6. The completion offers commands, a command's options and the mapped letters.
complete_line() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    PATH="$2:$PATH"
    COMP_LINE=$3 COMP_POINT=${#3}
    read -ra COMP_WORDS <<<"$3"
    [[ $3 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _tavrel_cli tavrel-cli
    printf "%s\n" "${COMPREPLY[@]}"' _ "$share/bash-completion/completions/tavrel-cli" "$bin" "$1"
}
[ "$(complete_line 'tavrel-cli ver')" = verify ] || fail "no command completion"
[ "$(complete_line 'tavrel-cli info --j')" = --json ] || fail "no option completion"
[ "$(complete_line 'tavrel-cli expand disk.tvl ')" = "$(printf 'A:\nB:')" ] ||
  fail "drive letters: '$(complete_line 'tavrel-cli expand disk.tvl ')'"

# 7. cmake --install to a prefix installs the same files, without root.
"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null || fail "cmake --install failed"
diff <(cd "$work/prefix" && find . -type f | sort) <(cd "$root/usr" && find . -type f | sort) ||
  fail "cmake --install and the package install different files"

# 8. lintian: no errors and no warnings.
lintian --fail-on error,warning --suppress-tags-from-file /dev/null "$deb" >"$work/lintian.log" 2>&1
code=$?
sed 's/^/lintian: /' "$work/lintian.log"
[ "$code" = 0 ] || fail "lintian found errors or warnings"
echo "PASS: $(basename "$deb") installs and runs"
