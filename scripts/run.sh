#!/usr/bin/env bash
# Builds the Windows program and starts it under Wine against a demo installation.
#   scripts/run.sh              the found presentation, with the demo key
#   scripts/run.sh --not-found  as if the product were not installed
# Without a display it runs on a private Xvfb, saves a screenshot and ends.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

mode=found
case "${1:-}" in
  "") ;;
  --not-found) mode=not-found ;;
  *) echo "usage: $0 [--not-found]" >&2; exit 2 ;;
esac

ensure_packages
build_windows
ensure_wine_prefix "$ROOT/build/wine-demo"

install_dir="$WINEPREFIX/drive_c/Quorvantis"
key_file="$install_dir/Firefox/chrome/content/quorvantis.ini"
if [ ! -f "$key_file" ]; then
  say "Making the demo installation C:\\Quorvantis"
  mkdir -p "$(dirname "$key_file")"
  printf 'var accessKey = "DEMO-7F3A-19C2-B84E";\r\n' >"$key_file"
fi
if [ "$mode" = found ]; then register_install 'C:\Quorvantis'; else register_install; fi

exe="$ROOT/build/windows/UpdateAccessKey.exe"
if [ -n "${DISPLAY:-}" ]; then
  say "Starting UpdateAccessKey.exe ($mode); the key file is $key_file"
  status=0
  wine "$exe" || status=$?
  say "The program ended with exit code $status; the key file holds: $(cat "$key_file")"
  exit "$status"
fi

trap 'wineserver -k 2>/dev/null; stop_display' EXIT
start_display
say "No display: running on Xvfb $DISPLAY"
wine explorer /desktop=UpdateAccessKey,700x420 "$exe" &
sleep 4
shot="$ROOT/build/screenshot-$mode.png"
import -window root -crop 700x420+0+0 "$shot"
say "Screenshot: $shot"
