#!/usr/bin/env bash
# End-to-end scenarios: UpdateAccessKey.exe runs under Wine against an installation folder of its
# own, and uak_probe.exe works its window from a second process as a user would.
#   scenarios.sh --list                                  the scenarios' names
#   scenarios.sh SCENARIO UpdateAccessKey.exe uak_probe.exe
# Needs WINEPREFIX (a prepared prefix of its own), DISPLAY (an X server) and WINEDEBUG, as
# scripts/wine-tests.sh run sets them for ctest.
set -euo pipefail
# shellcheck source=drive.sh
source "$(dirname "$0")/drive.sh"

# Wine takes the ANSI code page from LC_ALL: 1252 unless a scenario sets another. Only Wine gets
# it, as the locale need not be installed for the shell.
LOCALE=en_US.UTF-8

TITLE='Quorvantis - Update Access key'
INSTRUCTIONS='If you have changed the Access key at your Quorvantis Account,\r\nyou should update it below as well.'
NOT_FOUND='Information about the current Access key can not be found.\r\nProbably Quorvantis was not installed properly.\r\nPlease try to install program again.'
UPDATED='The Access key has been updated. Now you can exit.'
NOT_FOUND_COLOUR=AC002A
REFUSED='The Access key was not saved: the key file cannot hold it exactly as typed.\r\n\r\n'

fail() {
  printf 'FAIL (%s): ' "$scenario" >&2
  printf '%s\n' "$@" >&2
  exit 1
}
step() { printf -- '-- %s\n' "$*"; }

# make_install CONTENT: the installation folder with a key file holding CONTENT (printf %b
# escapes), registered as the installation directory. No CONTENT: no key file.
make_install() {
  mkdir -p "$content"
  if [ $# -gt 0 ]; then
    printf '%b' "$1" >"$key_file"
    cp "$key_file" "$work/original"
  fi
  probe registry set "$install_win"
}

# expect_exit CODE: the program ends by itself with CODE.
expect_exit() {
  local code
  code=$(probe wait-exit)
  [ "$code" = "$1" ] || fail "the program ended with exit code $code, expected $1"
}

# Exit, or closing the window, ends the program with 0.
exit_program() {
  click Command_Exit
  expect_exit 0
}
close_program() {
  probe close >/dev/null
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

# prints_lines COMMAND WANT...: the output of the probe's COMMAND, left in output, has these lines.
prints_lines() {
  output=$(probe "$1")
  shift
  has_lines "$output" "$@"
}

# await_lines WHAT COMMAND LINE...: the probe's COMMAND comes to print these lines, allowing a
# moment for what reaches the program or comes from it asynchronously.
await_lines() {
  local what=$1 output missing
  shift
  poll 5 prints_lines "$@" || fail "expected the line: $missing" "in $what:" "$output"
}

# expect_state LINE...: the window's state has these lines, keys sent through X having arrived.
expect_state() { await_lines "the window's state" state "$@"; }

# expect_announced LINE...: the program raised the live-region event for a label showing these
# lines, as uak_probe records them.
expect_announced() { await_lines "the live-region events" announcements "$@"; }

# expect_accessible LINE...: screen readers get these names, roles and states (Wine's roles are
# specific only for edit boxes: 42; everything else is a client, 10).
expect_accessible() { expect_lines "$(probe accessible)" "$@"; }

# walk_focus SEND KEYS FOCUS...: for each pair, `SEND KEYS` (KEYS being words) leaves the focus on
# FOCUS.
walk_focus() {
  local send=$1
  shift
  while [ $# -gt 0 ]; do
    # shellcheck disable=SC2086
    $send $1
    expect_state "focus=$2"
    shift 2
  done
}

# click NAME: presses the button; no message box may follow.
click() {
  local outcome
  outcome=$(probe click "$1")
  [ "$outcome" != message-box ] || fail "$1 brought up a message box:" "$(probe message-box)"
}

expect_label2() { [ "$(probe text Label2)" = "$1" ] || fail "Label2 does not show ${1:0:40}"; }

# expect_key_file KEY: the key file is the line for KEY, and a save left nothing beside it.
expect_key_file() {
  printf 'var accessKey = "%s";\r\n' "$1" >"$work/expected"
  cmp -s "$work/expected" "$key_file" ||
    fail "the key file is not the line for ${1:0:40}" \
      "expected: $(od -An -c "$work/expected" | head -4)" "found: $(od -An -c "$key_file" | head -4)"
}

# saves HOW KEY [BYTES]: KEY entered by the probe's HOW (type, set-text or paste) and Update
# pressed, the key file holds KEY, or BYTES where the code page writes it so, and Label2 shows KEY.
saves() {
  probe "$1" "$2"
  click Command_Update
  expect_key_file "${3:-$2}"
  expect_label2 "$2"
}

# The key file is as the scenario made it, alone in its folder.
expect_key_file_unchanged() {
  cmp -s "$work/original" "$key_file" ||
    fail "the key file changed" "now: $(od -An -c "$key_file" | head -4)"
}

expect_only_key_file() {
  local files
  files=$(ls -A "$content")
  [ "$files" = quorvantis.ini ] || fail "the key file's folder holds:" "$files"
}

expect_error_box() {
  local box
  box=$(probe message-box)
  expect_lines "$box" "title=$TITLE" 'buttons=OK'
  [[ $box == *"$key_file_win"* ]] || fail "the message does not name the key file:" "$box"
  echo "$box"
}

scenario_found() {
  make_install 'var accessKey = "QV-7F3A-19C2";\r\n'
  start_window
  expect_state \
    'Label1 visible=1 enabled=1 text=Your current Access key:' \
    'Label2 visible=1 enabled=1 text=QV-7F3A-19C2' \
    'Label3 visible=1 enabled=1 text=Enter a new Access key:' \
    "Label4 visible=1 enabled=1 text=$INSTRUCTIONS" \
    'Label5 visible=0 *' \
    'Text1 visible=1 enabled=1 text=' \
    'Command_Update visible=1 enabled=0 text=Update' \
    'Command_Exit visible=1 enabled=1 text=Exit' \
    'Image1 visible=1 *' \
    'focus=Text1'
  expect_accessible \
    'Label1 name=Your current Access key: role=10 state=normal' \
    'Label2 name=QV-7F3A-19C2 role=10 state=normal' \
    'Text1 name=Enter a new Access key: role=42 state=focused' \
    'Command_Update name=Update role=10 state=unavailable' \
    'Command_Exit name=Exit role=10 state=normal' \
    "Label5 name=$UPDATED role=10 state=invisible" \
    'Image1 name=Quorvantis role=10 state=normal'
  [ -z "$(probe announcements)" ] || fail "the found window announced:" "$(probe announcements)"
  local colour
  colour=$(probe colour Label4)
  [[ $colour != "colour=$NOT_FOUND_COLOUR "* ]] || fail "the instructions are in the warning colour"

  step "Tab skips the disabled Update; Enter and Esc do nothing, the Tab after them moves on"
  walk_focus 'probe key' tab Command_Exit tab Text1
  probe key return escape tab
  expect_state 'focus=Command_Exit' 'Label5 visible=0 *' 'Text1 visible=1 enabled=1 text='

  step "Exit"
  exit_program
  expect_key_file_unchanged
}

expect_not_found_state() {
  expect_state \
    'Label1 visible=0 *' 'Label2 visible=0 *' 'Label3 visible=0 *' \
    "Label4 visible=1 enabled=1 text=$NOT_FOUND" \
    'Label5 visible=0 *' 'Text1 visible=0 *' 'Command_Update visible=0 *' \
    'Command_Exit visible=1 enabled=1 text=Exit' 'Image1 visible=1 *' \
    'focus=Command_Exit'
}

scenario_not_found() {
  step "no registry key"
  probe registry delete
  start_window
  expect_not_found_state
  expect_announced "live Label4 visible=1 text=$NOT_FOUND"
  expect_accessible "Label4 name=$NOT_FOUND role=10 state=normal" \
    'Text1 name=Enter a new Access key: role=42 state=invisible' \
    'Command_Exit name=Exit role=10 state=focused'
  expect_lines "$(probe colour Label4)" "colour=$NOT_FOUND_COLOUR *"
  walk_focus 'probe key' tab Command_Exit
  exit_program

  step "empty installation directory"
  probe registry set ""
  start_window
  expect_not_found_state
  close_program
}

# expect_start_failure: the program reports the key file and ends without showing its window.
expect_start_failure() {
  local box
  start_program
  box=$(expect_error_box)
  printf '%s\n' "$box"
  if has_lines "$box" 'main-window=visible'; then fail "the main window was shown"; fi
  expect_exit 1
}

scenario_missing_key_file() {
  step "no key file"
  make_install
  expect_start_failure
  [ ! -e "$key_file" ] || fail "the program created the key file"

  step "the key file is a folder"
  mkdir "$key_file"
  expect_start_failure
  rmdir "$key_file"

  step "the key file holds no key"
  make_install 'accessKey = none\r\n'
  expect_start_failure
  expect_key_file_unchanged
}

scenario_typing() {
  make_install 'var accessKey = "OLD-KEY";\r\n'
  start_window

  step "Update follows whether Text1 is empty"
  probe type a
  expect_state 'Text1 visible=1 enabled=1 text=a' 'Command_Update visible=1 enabled=1 text=Update'
  probe type $'\b'
  expect_state 'Text1 visible=1 enabled=1 text=' 'Command_Update visible=1 enabled=0 text=Update'
  probe type K
  probe set-text ""
  expect_state 'Command_Update visible=1 enabled=0 text=Update'

  step "Tab visits Update once it is enabled; Enter and Esc on it press nothing, Tab moves on"
  probe set-text "   "
  expect_state 'Text1 visible=1 enabled=1 text=   ' 'Command_Update visible=1 enabled=1 text=Update'
  walk_focus 'probe key' tab Command_Exit tab Command_Update tab Text1 'tab tab' Command_Update
  probe key return escape tab
  expect_state 'focus=Text1' 'Label5 visible=0 *' 'Text1 visible=1 enabled=1 text=   '
  expect_key_file_unchanged
  walk_focus 'probe key' 'tab tab' Command_Update

  step "Space on Update saves the blanks as they are"
  probe key space
  expect_state 'Label5 visible=1 *' 'focus=Command_Exit'
  expect_key_file '   '
  expect_label2 '   '
  exit_program
}

scenario_update() {
  # The whole file is replaced, so the second line goes.
  make_install 'var accessKey = "OLD-KEY";\r\n// written by the installer\r\n'
  start_window

  step "first update"
  saves type 'NEW-KEY-1'
  expect_state \
    'Label2 visible=1 enabled=1 text=NEW-KEY-1' \
    "Label5 visible=1 enabled=1 text=$UPDATED" \
    'Text1 visible=1 enabled=1 text=' \
    'Command_Update visible=1 enabled=0 text=Update' \
    'focus=Command_Exit'
  expect_announced "live Label5 visible=1 text=$UPDATED"
  expect_accessible "Label5 name=$UPDATED role=10 state=normal" \
    'Label2 name=NEW-KEY-1 role=10 state=normal'

  step "typing hides the notice again"
  probe type x
  expect_state 'Label5 visible=0 *' 'Command_Update visible=1 enabled=1 text=Update'

  step "second update"
  saves set-text 'NEW-KEY-2'
  expect_state 'Label2 visible=1 enabled=1 text=NEW-KEY-2' 'Label5 visible=1 *' \
    'Text1 visible=1 enabled=1 text=' 'focus=Command_Exit'

  close_program
  expect_key_file 'NEW-KEY-2'
}

scenario_exit_and_close() {
  make_install 'var accessKey = "KEEP-ME";\r\n'
  local how
  for how in 'click Command_Exit' 'close' 'close --syscommand'; do
    step "$how with an unsaved key typed"
    start_window
    probe type 'UNSAVED'
    # shellcheck disable=SC2086
    probe $how >/dev/null
    expect_exit 0
    expect_key_file_unchanged
  done
}

scenario_read_only() {
  make_install 'var accessKey = "OLD-KEY";\r\n'
  chmod a-w "$key_file"
  start_window
  probe type 'NEW-KEY'
  probe click Command_Update >/dev/null
  expect_error_box
  expect_exit 1
  expect_key_file_unchanged
}

# attributes_of WINDOWS-PATH: the attribute letters that Windows programs see, as attrib shows them.
attributes_of() { env LC_ALL=$LOCALE wine attrib "$1" | tr -d '\r' | sed 's/ *[A-Za-z]:\\.*$//'; }
expect_attributes() {
  [ "$(attributes_of "$key_file_win")" = "$1" ] ||
    fail "the key file's attributes were '$1' and are now '$(attributes_of "$key_file_win")'"
}

# update_to KEY: types KEY, presses Update, and expects the confirmation with the key read back.
update_to() {
  saves type "$1"
  expect_state "Label5 visible=1 enabled=1 text=$UPDATED"
}

scenario_hidden_and_linked() {
  step "a hidden key file stays hidden"
  make_install 'var accessKey = "OLD-KEY";\r\n'
  env LC_ALL=$LOCALE wine attrib +h "$key_file_win"
  local before
  before=$(attributes_of "$key_file_win")
  [[ $before == *H* ]] || fail "attrib did not hide the key file: $before"
  start_window
  update_to 'HIDDEN-NEW'
  expect_attributes "$before"
  close_program

  step "a key file that links elsewhere stays a link, and the file behind it gets the line"
  local real="$install/elsewhere/quorvantis.ini"
  mkdir -p "$install/elsewhere"
  rm "$key_file"
  printf 'var accessKey = "LINKED-OLD";\r\n' >"$real"
  ln -s "$real" "$key_file"
  start_window
  expect_label2 'LINKED-OLD'
  update_to 'LINKED-NEW'
  [ "$(readlink "$key_file")" = "$real" ] || fail "the key file is no longer a link to $real"
  [ "$(ls -A "$install/elsewhere")" = quorvantis.ini ] ||
    fail "beside the linked file: $(ls -A "$install/elsewhere")"
  close_program
}

scenario_held_key_file() {
  make_install 'var accessKey = "OLD-KEY";\r\n'
  env LC_ALL=$LOCALE wine attrib +h "$key_file_win"
  local before box key
  before=$(attributes_of "$key_file_win")
  for key in HELD-NEW LINKED-NEW; do
    step "a reader sharing reading and writing: $key saved, the file still hidden"
    # The second round with a second hard link, which must show the line too.
    if [ $key = LINKED-NEW ]; then ln "$key_file" "$install/second-name.ini"; fi
    start_window
    probe hold read,write "$key_file_win"
    update_to $key
    expect_attributes "$before"
    close_program
  done
  cmp -s "$key_file" "$install/second-name.ini" || fail "the second name kept the old line"
  rm "$install/second-name.ini"

  step "a reader sharing nothing: the error box, the key file as it was"
  make_install 'var accessKey = "OLD-KEY";\r\n'
  start_window
  probe hold none "$key_file_win"
  probe type 'NOT-SAVED'
  probe click Command_Update >/dev/null
  box=$(expect_error_box)
  [[ $box == *'Reason: Sharing violation.'* ]] || fail "the box gives another reason:" "$box"
  expect_exit 1
  expect_key_file_unchanged
}

# An installation folder that no ANSI code page can name; the key file's line stays in the code
# page, whichever it is.
scenario_unicode_folder() {
  local folder='Łódź 東京'
  install_win="$install_win\\$folder"
  content="$install/$folder/Firefox/chrome/content"
  key_file="$content/quorvantis.ini"
  key_file_win="$install_win\\Firefox\\chrome\\content\\quorvantis.ini"
  # Wine names files in the Unix locale's character set, which is ASCII where the locale is not
  # installed; the two that the scenario runs in are built for it.
  export LOCPATH="$work/locales"
  mkdir "$LOCPATH"
  localedef -i en_US -f UTF-8 "$LOCPATH/en_US.UTF-8"
  localedef -i ru_RU -f UTF-8 "$LOCPATH/ru_RU.UTF-8"
  make_install 'var accessKey = "OLD-KEY";\r\n'

  # Locale | the key shown at start | the key typed | its bytes. Under 1251 the byte that 1252
  # wrote for "é" is another letter.
  local round shown bytes typed
  for round in 'en_US.UTF-8|OLD-KEY|é|\xe9' 'ru_RU.UTF-8|й|Ключ|\xca\xeb\xfe\xf7'; do
    IFS='|' read -r LOCALE shown typed bytes <<<"$round"
    step "$LOCALE"
    start_probe
    start_window
    expect_label2 "$shown"
    saves type "$typed" "$(printf '%b' "$bytes")"
    exit_program
  done
}

scenario_unusual_keys() {
  make_install 'var accessKey = "OLD-KEY";\r\n'
  start_window

  step "commas, an ampersand and a Windows-1252 letter"
  saves type 'AB,CD,,R&D é' $'AB,CD,,R&D \xe9'
  step "40,000 characters set at once"
  saves set-text "$(printf '%040000d' 0 | tr 0 k)"
  step "40,000 characters pasted"
  saves paste "$(for _ in $(seq 2500); do printf '0123456789ABCDEF'; done)"

  exit_program
}

# expect_refusal FRAGMENT...: Update brings up the box that refuses the typed key, whose text has
# each FRAGMENT; nothing is written and the window stays as it was.
expect_refusal() {
  local box fragment
  [ "$(probe click Command_Update)" = message-box ] || fail "Update took the key $(probe text Text1)"
  box=$(probe message-box)
  expect_lines "$box" "title=$TITLE" "text=$REFUSED*" 'buttons=OK' 'main-window=visible'
  for fragment; do
    [[ $box == *"$fragment"* ]] || fail "the message does not say: $fragment" "$box"
  done
  expect_key_file_unchanged
  expect_state 'Label2 visible=1 enabled=1 text=OLD-KEY' 'Label5 visible=0 *' \
    'Command_Update visible=1 enabled=1 text=Update' 'focus=Command_Update'
}

scenario_refused_keys() {
  make_install 'var accessKey = "OLD-KEY";\r\n'
  start_window

  step "a backslash, which would start an escape in the extension's script"
  probe type 'ab\cd'
  expect_refusal '\ (backslash): the extension would take it as part of its script'
  expect_state 'Text1 visible=1 enabled=1 text=ab\cd'

  step "a trailing backslash, which would break the script's line"
  probe set-text 'abc\'
  expect_refusal '\ (backslash)'
  expect_state 'Text1 visible=1 enabled=1 text=abc\'

  step "a double quote"
  probe set-text 'ab"cd'
  expect_refusal '" (double quote): the extension would'

  step "letters that code page 1252 cannot hold, typed"
  probe set-text ''
  probe type 'Ключ'
  expect_refusal 'К (U+041A), л (U+043B), ю (U+044E), ч (U+0447): this computer saves the key file in code page 1252'
  expect_state 'Text1 visible=1 enabled=1 text=Ключ'

  step "letters a best fit would swap for others, pasted through the clipboard"
  probe set-text ''
  probe paste 'łódź'
  expect_refusal 'ł (U+0142), ź (U+017A): this computer' 'Type the key without these characters'
  expect_state 'Text1 visible=1 enabled=1 text=łódź'

  step "a line separator, which ends the script's line as a line break does"
  probe set-text $'ab\xe2\x80\xa8cd'
  expect_refusal 'A line break: the key file holds the key on one line'

  step "two lines pasted: the box takes the first, and no line break reaches the file"
  probe set-text ''
  printf 'FIRST\r\nSECOND' >"$work/two-lines.txt"
  probe paste --file "Z:$work/two-lines.txt"
  expect_state 'Text1 visible=1 enabled=1 text=FIRST'
  click Command_Update
  expect_key_file FIRST

  step "the program goes on"
  saves set-text 'GOOD-KEY'
  expect_state 'Label5 visible=1 *' 'focus=Command_Exit'
  exit_program
}

# Keys typed on the X keyboard, through Wine's keyboard driver and the program's message loop.
scenario_keyboard() {
  make_install 'var accessKey = "OLD-KEY";\r\n'
  start_window
  local windows
  windows=$(xdotool search --onlyvisible --name "^$TITLE\$")
  [ "$(wc -l <<<"$windows")" -eq 1 ] || fail "expected one X window titled $TITLE:" "$windows"
  xdotool windowfocus --sync "$windows"

  step "typing"
  xdotool type --delay 60 'abc'
  expect_state 'Text1 visible=1 enabled=1 text=abc' \
    'Command_Update visible=1 enabled=1 text=Update' 'focus=Text1'

  step "Enter and Esc in Text1 do nothing; the Tab after them moves on"
  xdotool key Return Escape Tab
  expect_state 'Text1 visible=1 enabled=1 text=abc' 'Label5 visible=0 *' 'focus=Command_Exit'
  expect_key_file_unchanged

  step "Tab and Shift+Tab"
  walk_focus 'xdotool key' Tab Command_Update shift+Tab Command_Exit shift+Tab Text1 \
    shift+Tab Command_Update

  step "Enter on Update presses nothing, the Tab after it moves on; Space presses it"
  xdotool key Return Tab
  expect_state 'Label5 visible=0 *' 'focus=Text1'
  expect_key_file_unchanged
  walk_focus 'xdotool key' shift+Tab Command_Update
  xdotool key space
  expect_state 'Label2 visible=1 enabled=1 text=abc' 'Label5 visible=1 *' 'focus=Command_Exit'
  expect_key_file 'abc'

  step "Alt+F4"
  xdotool key alt+F4
  expect_exit 0
  expect_key_file 'abc'
}

# expect_layout DPI: every control stands at the design's rectangle scaled to DPI.
expect_layout() {
  local expected
  expected=$(probe design "$1" | tr -d '\r')
  [ "$(probe rects | tr -d '\r')" = "$expected" ] ||
    fail "the layout at $1 DPI is not the design's" "expected:" "$expected" "found:" "$(probe rects)"
}

set_dpi() {
  env LC_ALL=$LOCALE wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$1" /f >/dev/null
}

scenario_layout() {
  make_install 'var accessKey = "LAYOUT-KEY";\r\n'
  for dpi in 96 144; do
    step "controls at $dpi DPI"
    set_dpi "$dpi"
    start_window
    expect_layout "$dpi"
    close_program
  done
  set_dpi 96

  step "Label2 drawn in black"
  start_window
  expect_lines "$(probe colour Label2)" 'colour=000000 *'
  exit_program
}

# expect_readable NAME: the control's text, as the screen shows it, can be read: 4.5 : 1 or more.
expect_readable() {
  local ratio
  ratio=$(probe colour "$1" | sed -n 's/.* contrast=//p')
  echo "$1 contrast $ratio : 1"
  awk -v r="$ratio" 'BEGIN { exit !(r >= 4.5) }' || fail "$1 is drawn at $ratio : 1"
}

scenario_colour_schemes() {
  make_install 'var accessKey = "DARK-KEY";\r\n'
  env LC_ALL=$LOCALE wine reg import "Z:$(cd "$(dirname "$0")" && pwd)/dark-scheme.reg" >/dev/null

  step "found, under a dark scheme set before start"
  start_window
  expect_readable Label2
  exit_program

  step "not found, under the same scheme"
  probe registry delete
  start_window
  expect_not_found_state
  expect_readable Label4
  close_program
}

if [ "${1:-}" = --list ]; then
  declare -F | sed -n 's/^declare -f scenario_//p'
  exit 0
fi
if [ $# -ne 3 ]; then
  echo "usage: $0 --list | SCENARIO UpdateAccessKey.exe uak_probe.exe" >&2
  exit 2
fi
scenario=$1
program=$2
probe_command=("$3")
if ! declare -F "scenario_$scenario" >/dev/null; then
  echo "no scenario named $scenario" >&2
  exit 2
fi
for variable in WINEPREFIX DISPLAY WINEDEBUG; do
  [ -n "${!variable:-}" ] || { echo "$variable is not set: run them by ctest --preset windows" >&2; exit 1; }
done

install_win="C:\\$scenario"
install="$WINEPREFIX/drive_c/$scenario"
content="$install/Firefox/chrome/content"
key_file="$content/quorvantis.ini"
key_file_win="$install_win\\Firefox\\chrome\\content\\quorvantis.ini"
work=$(mktemp -d)
# The prefix is the test's own and goes with it; the probe ends the program it started.
trap 'stop_probe; rm -rf "$work"' EXIT
set -E
trap 'echo "FAIL ($scenario): line $LINENO: $BASH_COMMAND" >&2' ERR

start_probe
"scenario_$scenario"
echo "PASS $scenario"
