#!/usr/bin/env bash
# End-to-end scenarios: UpdateAccessKey.exe runs under Wine against an installation folder of its
# own, and uak_probe.exe works its window from a second process as a user would.
#   scenarios.sh --list | SCENARIO UpdateAccessKey.exe uak_probe.exe
# Needs WINEPREFIX (a prepared prefix of its own), DISPLAY (an X server) and WINEDEBUG, as
# scripts/wine-tests.sh run sets them for ctest.
set -euo pipefail
# shellcheck source=../../scripts/lib.sh
source "$(dirname "$0")/../../scripts/lib.sh"
# shellcheck source=drive.sh
source "$(dirname "$0")/drive.sh"

# Wine takes the ANSI code page from LC_ALL: 1252 unless a scenario sets another. Only Wine gets
# it, as the locale need not be installed for the shell.
LOCALE=en_US.UTF-8

TITLE='Quorvantis - Update Access key'
INSTRUCTIONS='If you have changed the Access key at your Quorvantis Account,\r\nyou should update it below as well.'
NOT_FOUND='Information about the current Access key can not be found.\r\nProbably Quorvantis was not installed properly.\r\nPlease try to install program again.'
UPDATED='The Access key has been updated. Now you can exit.'

fail() { printf 'FAIL (%s): ' "$scenario" >&2 && printf '%s\n' "$@" >&2 && exit 1; }
step() { printf -- '-- %s\n' "$*"; }

# use_install FOLDER: the installation folder is C:\FOLDER, FOLDER written with "/".
use_install() {
  install_win="C:\\${1//\//\\}"
  install="$WINEPREFIX/drive_c/$1"
  content="$install/Firefox/chrome/content"
  key_file="$content/quorvantis.ini"
  key_file_win="$install_win\\Firefox\\chrome\\content\\quorvantis.ini"
}

# make_install CONTENT: the installation folder with a key file holding CONTENT (printf %b
# escapes), registered as the installation directory. No CONTENT: no key file.
make_install() {
  mkdir -p "$content"
  if [ $# -gt 0 ]; then
    printf '%b' "$1" >"$key_file"
    cp "$key_file" "$work/original"
  fi
  LC_ALL=$LOCALE register_install "$install_win"
}

# expect_exit CODE: the program ends by itself with CODE.
expect_exit() {
  local code
  code=$(probe wait-exit)
  [ "$code" = "$1" ] || fail "the program ended with exit code $code, expected $1"
}

exit_program() {
  click Command_Exit
  expect_exit 0
}

# has_lines OUTPUT WANT...: OUTPUT has each line WANT, where a WANT ending in * matches as a
# prefix; sets missing to one that it lacks.
has_lines() {
  local output=$1 want line
  shift
  for want; do
    missing=$want
    while IFS= read -r line; do
      [[ $want == *'*' && $line == "${want%'*'}"* || $line == "$want" ]] && missing= && break
    done <<<"$output"
    [ -z "$missing" ] || return 1
  done
}

expect_lines() { has_lines "$@" || fail "expected the line: $missing" "in:" "$1"; }

state_has() {
  state=$(probe state)
  has_lines "$state" "$@"
}

# expect_state LINE...: the window's state comes to have these lines, allowing a moment for keys
# sent through X to arrive.
expect_state() {
  local state missing
  poll 5 state_has "$@" || fail "expected the line: $missing" "in the window's state:" "$state"
}

# click NAME: presses the button; no message box may follow.
click() {
  local outcome
  outcome=$(probe click "$1")
  [ "$outcome" != message-box ] || fail "$1 brought up a message box:" "$(probe message-box)"
}

# expect_key_file KEY: the key file is the line for KEY.
expect_key_file() {
  printf 'var accessKey = "%s";\r\n' "$1" >"$work/expected"
  cmp -s "$work/expected" "$key_file" ||
    fail "the key file is not the line for ${1:0:40}" \
      "expected: $(od -An -c "$work/expected" | head -4)" "found: $(od -An -c "$key_file" | head -4)"
}

# The key file is as the scenario made it.
expect_key_file_unchanged() {
  cmp -s "$work/original" "$key_file" ||
    fail "the key file changed" "now: $(od -An -c "$key_file" | head -4)"
}

# Found in an installation folder that no ANSI code page can name, while the key file's line stays
# in code page 1252; updated; and ended by the window's close command, which saves nothing typed.
scenario_found() {
  use_install "$scenario/Łódź 東京"
  # The whole file is replaced, so the second line goes.
  make_install 'var accessKey = "OLD-KEY";\r\n// written by the installer\r\n'
  start_window
  expect_state \
    'Label1 visible=1 enabled=1 text=Your current Access key:' \
    'Label2 visible=1 enabled=1 text=OLD-KEY' \
    "Label4 visible=1 enabled=1 text=$INSTRUCTIONS" 'Label5 visible=0 *' \
    'Text1 visible=1 enabled=1 text=' 'Command_Update visible=1 enabled=0 text=Update' \
    'focus=Text1'
  probe type 'NEW-KEY-1 é'
  click Command_Update
  expect_key_file $'NEW-KEY-1 \xe9'
  expect_state \
    'Label2 visible=1 enabled=1 text=NEW-KEY-1 é' "Label5 visible=1 enabled=1 text=$UPDATED" \
    'Text1 visible=1 enabled=1 text=' 'Command_Update visible=1 enabled=0 text=Update' \
    'focus=Command_Exit'
  probe type 'UNSAVED'
  probe close >/dev/null
  expect_exit 0
  expect_key_file $'NEW-KEY-1 \xe9'
}

scenario_not_found() {
  register_install
  start_window
  expect_state \
    'Label1 visible=0 *' 'Label2 visible=0 *' 'Label3 visible=0 *' \
    "Label4 visible=1 enabled=1 text=$NOT_FOUND" \
    'Label5 visible=0 *' 'Text1 visible=0 *' 'Command_Update visible=0 *' \
    'Command_Exit visible=1 enabled=1 text=Exit' 'Image1 visible=1 *' \
    'focus=Command_Exit'
  exit_program
}

# The program reports the key file that it cannot read and ends without showing its window.
scenario_missing_key_file() {
  local box
  make_install
  [ "$(start_program)" = message-box ] || fail "the program started without its error box"
  box=$(probe message-box)
  expect_lines "$box" "title=$TITLE" 'buttons=OK' 'main-window=none or hidden'
  [[ $box == *"$key_file_win"* ]] || fail "the message does not name the key file:" "$box"
  expect_exit 1
  [ ! -e "$key_file" ] || fail "the program created the key file"
}

# Keys typed on the X keyboard, through Wine's keyboard driver and the program's message loop.
scenario_keyboard() {
  make_install 'var accessKey = "OLD-KEY";\r\n'
  start_window
  local windows
  windows=$(xdotool search --onlyvisible --name "^$TITLE\$")
  [ "$(wc -l <<<"$windows")" -eq 1 ] || fail "expected one X window titled $TITLE:" "$windows"
  xdotool windowfocus --sync "$windows"

  step "typing; Enter and Esc in Text1 do nothing; Tab moves on and Shift+Tab back"
  xdotool type --delay 60 'abc'
  xdotool key Return Escape Tab
  expect_state 'Text1 visible=1 enabled=1 text=abc' 'Label5 visible=0 *' 'focus=Command_Exit'
  expect_key_file_unchanged
  xdotool key shift+Tab shift+Tab
  expect_state 'focus=Command_Update'

  step "Space on Update presses it; Alt+F4 ends the program"
  xdotool key space
  expect_state 'Label2 visible=1 enabled=1 text=abc' 'Label5 visible=1 *' 'focus=Command_Exit'
  xdotool key alt+F4
  expect_exit 0
  expect_key_file 'abc'
}

[ "${1:-}" != --list ] || { declare -F | sed -n 's/^declare -f scenario_//p' && exit 0; }
if [ $# -ne 3 ] || ! declare -F "scenario_$1" >/dev/null; then
  echo "usage: $0 --list | SCENARIO UpdateAccessKey.exe uak_probe.exe" >&2
  exit 2
fi
scenario=$1 program=$2 probe_command=("$3")
for variable in WINEPREFIX DISPLAY WINEDEBUG; do
  [ -n "${!variable:-}" ] || { echo "$variable is not set: run them by ctest --preset windows" >&2; exit 1; }
done

use_install "$scenario"
work=$(mktemp -d)
# The prefix is the test's own and goes with it; the probe ends the program it started.
trap 'stop_probe; rm -rf "$work"' EXIT
set -E
trap 'echo "FAIL ($scenario): line $LINENO: $BASH_COMMAND" >&2' ERR

start_probe
"scenario_$scenario"
echo "PASS $scenario"
