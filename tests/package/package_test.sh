#!/usr/bin/env bash
# Builds the .deb from the build folder, checks what it holds, and runs the installed layout
# from a staging folder (dpkg-deb -x): with no arguments the board finds the demo, and a
# carer's content and settings in the home folder come before it. Nothing is installed.
#
#   package_test.sh BUILD    (needs $DISPLAY)
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/orlido-package.XXXXXX)
board_pid=""
cleanup() {
  if [[ -n "$board_pid" ]]; then
    kill "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package_test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/orlido_*.deb)

# The file list: everything under /usr, and the pieces a desktop needs.
dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' >"$work/files"
for wanted in ./usr/bin/orlido ./usr/bin/orlido-edit \
    "./usr/share/orlido/UserData/L00001/B00001 Mat.jpg" ./usr/share/orlido/UserData/L00001/B00001.wav \
    ./usr/share/orlido/Tillbaka.wav ./usr/share/orlido/Nej.wav ./usr/share/orlido/Ja.wav \
    ./usr/share/orlido/JagValde.wav ./usr/share/orlido/WebBrowser.lnk \
    ./usr/share/applications/orlido.desktop ./usr/share/applications/orlido-edit.desktop \
    ./usr/share/man/man1/orlido-edit.1.gz ./usr/share/icons/hicolor/scalable/apps/orlido.svg \
    ./usr/share/man/man1/orlido.1.gz ./usr/share/doc/orlido/copyright ./usr/share/doc/orlido/changelog.gz \
    ./usr/share/doc/orlido/examples/Setup.txt ./usr/share/doc/orlido/examples/scan/Setup.txt \
    ./usr/share/doc/orlido/examples/filters/Setup.txt; do
  grep -qxF -- "$wanted" "$work/files" || fail "the package lacks $wanted"
done
if grep -v '^\./usr/' "$work/files" | grep -vqx '\./'; then
  fail "files outside /usr: $(grep -v '^\./usr/' "$work/files" | grep -vx '\./' | head -3)"
fi

# Dependencies from the linked libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libmpv libcairo2 libpango-1.0 libx11-6 libjpeg62-turbo libpng16 libqt6widgets6 libespeak-ng1; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

mkdir -p "$work/root" "$work/home" "$work/work"
dpkg-deb -x "$deb" "$work/root"
for entry in orlido orlido-edit; do
  desktop-file-validate "$work/root/usr/share/applications/$entry.desktop" || fail "the desktop entry $entry is not valid"
done
# The demo's web page opens from any working directory: its address names the installed page.
address=$(tr -d '\r\n' <"$work/root/usr/share/orlido/UserData/L00001/L00003/W00003.txt")
[[ "$address" == file:///usr/* && -f "$work/root${address#file://}" ]] || fail "the demo's web address names no installed page: $address"
# Staged, the installed page lies under $work/root: the checks below, which look for it, are
# pointed there, as installing the package would put it at its address.
printf 'file://%s%s\n' "$work/root" "${address#file://}" >"$work/root/usr/share/orlido/UserData/L00001/L00003/W00003.txt"
man_page=$(zcat "$work/root/usr/share/man/man1/orlido.1.gz")
[[ "$man_page" == *'\-\-check'* ]] || fail "the manual page does not describe --check"
[[ "$man_page" == *'\-\-speak'* ]] || fail "the manual page does not describe --speak"

# Run as installed: HOME and the desktop's folders in the staging area.
installed() {
  (cd "$work/work" && env -u ORLIDO_CONTENT -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u LC_ALL -u LC_MESSAGES \
    HOME="$work/home" XDG_DATA_DIRS="$work/root/usr/share" XDG_CONFIG_DIRS="$work/nowhere" LANG=C \
    "$work/root/usr/bin/orlido" "$@")
}
output=$(installed --check) || fail "the installed demo is not clean: $output"
[[ "$output" == *"Content: $work/root/usr/share/orlido"* ]] || fail "the demo is not found: $output"

# A carer's content and settings in the home folder come first.
mkdir -p "$work/home/.local/share/orlido/UserData/L00001" "$work/home/.config/orlido"
cp "$work/root/usr/share/orlido/UserData/L00001/B00001 Mat.jpg" "$work/home/.local/share/orlido/UserData/L00001/"
printf '#MAINMODE scan\n' >"$work/home/.config/orlido/Setup.txt"
output=$(installed --check) && fail "a page without sound and a lower-case mode pass: $output"
[[ "$output" == *"Content: $work/home/.local/share/orlido"* ]] || fail "the carer's content is not found: $output"
[[ "$output" == *"Settings: $work/home/.config/orlido/Setup.txt"* ]] || fail "the carer's settings are not found: $output"
[[ "$output" == *"has no sound"* && "$output" == *"Write Scan."* ]] || fail "the carer's problems are not named: $output"
# Speech for the carer's picture, in the carer's content found by the same rules.
output=$(installed --speak) || fail "speech for the carer's content failed: $output"
[[ "$output" == *'made: UserData/L00001/B00001.wav: "Mat"'* ]] || fail "the carer's picture got no sound: $output"
[[ -f "$work/home/.local/share/orlido/Tillbaka.wav" ]] || fail "the common sounds were not made: $output"
rm -rf "$work/home/.local" "$work/home/.config"

# The board itself, with no arguments: the demo's first page on the screen.
(cd "$work/work" && exec env -u ORLIDO_CONTENT -u XDG_DATA_HOME HOME="$work/home" \
  XDG_DATA_DIRS="$work/root/usr/share" ORLIDO_TRACE=1 "$work/root/usr/bin/orlido" 2>"$work/board.log") &
board_pid=$!
for _ in $(seq 100); do
  xdotool search --onlyvisible --pid "$board_pid" >/dev/null 2>&1 && break
  kill -0 "$board_pid" 2>/dev/null || fail "the installed board ended: $(cat "$work/board.log")"
  sleep 0.1
done
xdotool search --onlyvisible --pid "$board_pid" >/dev/null 2>&1 || fail "the installed board shows no window"
sleep 1
grep -q "No first page" "$work/board.log" && fail "the installed board found no demo: $(cat "$work/board.log")"
kill -0 "$board_pid" 2>/dev/null || fail "the installed board ended: $(cat "$work/board.log")"
echo "package_test: $(basename "$deb") holds $(wc -l <"$work/files") entries; the installed board runs"
