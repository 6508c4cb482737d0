#!/usr/bin/env bash
# Screenshots of the three presentations, each inside a 700x420 Wine desktop on a private Xvfb:
#   [DPI=144] [SCHEME=dark] tests/e2e/screenshots.sh OUTDIR [BUILD_DIR]
# writes OUTDIR/found.png, OUTDIR/not-found.png and OUTDIR/updated.png. BUILD_DIR (default
# build/windows) holds UpdateAccessKey.exe and tests/e2e/uak_probe.exe. SCHEME=dark takes them
# under the dark contrast scheme of dark-scheme.reg.
set -euo pipefail
# shellcheck source=../../scripts/lib.sh
source "$(dirname "$0")/../../scripts/lib.sh"
# shellcheck source=drive.sh
source "$(dirname "$0")/drive.sh"

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 OUTDIR [BUILD_DIR]" >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
build=$(cd "${2:-$ROOT/build/windows}" && pwd)
program="$build/UpdateAccessKey.exe"
probe_exe="$build/tests/e2e/uak_probe.exe"
for file in "$program" "$probe_exe"; do
  [ -f "$file" ] || { echo "$file is missing: build with cmake --build --preset windows" >&2; exit 1; }
done

DESKTOP=Screenshots
dpi=${DPI:-96}
SIZE=$((700 * dpi / 96))x$((420 * dpi / 96))
# A prefix of its own, so that its registry key and its wineserver are this script's alone.
ensure_wine_prefix "$ROOT/build/wine-screenshots"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
work=$(mktemp -d)
install="$WINEPREFIX/drive_c/Quorvantis"
colours='HKCU\Control Panel\Colors'
wine reg export "$colours" "Z:$work/colours.reg" /y >/dev/null
trap 'stop_probe; wine reg import "Z:$work/colours.reg" >/dev/null 2>&1
  wineserver -k 2>/dev/null || true; stop_display; rm -rf "$work" "$install"' EXIT
case ${SCHEME:-} in
  "") ;;
  dark) wine reg import "Z:$(cd "$(dirname "$0")" && pwd)/dark-scheme.reg" >/dev/null ;;
  *) echo "SCHEME is dark or unset" >&2; exit 2 ;;
esac
start_display

mkdir -p "$install/Firefox/chrome/content"
printf 'var accessKey = "DEMO-7F3A-19C2-B84E";\r\n' >"$install/Firefox/chrome/content/quorvantis.ini"

# The probe runs inside the desktop, and so does the program it starts.
LOCALE=en_US.UTF-8
probe_command=(explorer "/desktop=$DESKTOP,$SIZE" "$probe_exe")
start_probe

# shoot NAME: the window, once it has drawn, into OUTDIR/NAME.png; then it is closed.
shoot() {
  probe drawn Command_Exit
  import -window root -crop "$SIZE+0+0" +repage "$out/$1.png"
  probe close >/dev/null
  probe wait-exit >/dev/null
  say "$out/$1.png"
}

register_install 'C:\Quorvantis'
start_window
shoot found

start_window
probe type '5C1E-88D0-A4F7-3B92'
probe click Command_Update >/dev/null
shoot updated

register_install
start_window
shoot not-found
