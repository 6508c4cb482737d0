#!/usr/bin/env bash
# Saving through links, set up on the Unix side, where Wine shows them to Windows programs:
#   links_survive_saving.sh StorageWin32Test.exe
# which saves with `--save INSTALL-FOLDER KEY` and prints the key read back.
# Each case checks the links, the bytes of the file behind them, the key read back through them, and
# that no temporary file stays.
set -euo pipefail

saver=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
old='var accessKey = "OLD-KEY";'$'\r'
new='var accessKey = "NEW-KEY";'$'\r'
failures=0

fail() {
  echo "FAIL: $case: $*" >&2
  failures=$((failures + 1))
}
# Makes $work/$1 with install/Firefox/chrome and a folder elsewhere holding the real key file.
scene() {
  case=$1
  root=$work/$1
  mkdir -p "$root/install/Firefox/chrome" "$root/elsewhere"
  printf '%s\n' "$old" >"$root/elsewhere/quorvantis.ini"
}
save() {
  local read_back
  read_back=$(wine "$saver" --save "Z:${root//\//\\}\\install" NEW-KEY | tr -d '\r') || fail "the save failed"
  [ "$read_back" = NEW-KEY ] || fail "read back '$read_back' through the link"
}
expect_bytes() { [ "$(cat "$1")" = "$2" ] || fail "$1 holds '$(cat "$1")'"; }
expect_link() { [ "$(readlink "$1")" = "$2" ] || fail "$1 is no longer a link to $2"; }
expect_no_temporary() {
  local left
  left=$(find "$root" -name '*.tmp')
  [ -z "$left" ] || fail "left behind: $left"
}

# NAME | the link, below install/Firefox/chrome | where it points, ROOT being the case's folder
for row in 'file-link|content/quorvantis.ini|ROOT/elsewhere/quorvantis.ini' \
  'relative-file-link|content/quorvantis.ini|../../../../elsewhere/quorvantis.ini' \
  'folder-link|content|ROOT/elsewhere' 'new-file-in-folder-link|content|ROOT/elsewhere'; do
  IFS='|' read -r name link target <<<"$row"
  scene "$name"
  [ "$link" = content ] || mkdir "$root/install/Firefox/chrome/content"
  [ "$name" != new-file-in-folder-link ] || rm "$root/elsewhere/quorvantis.ini"
  link=$root/install/Firefox/chrome/$link
  target=${target/ROOT/$root}
  ln -s "$target" "$link"
  save
  expect_link "$link" "$target"
  expect_bytes "$root/elsewhere/quorvantis.ini" "$new"
  expect_no_temporary
done

scene hard-link
mkdir "$root/install/Firefox/chrome/content"
ln "$root/elsewhere/quorvantis.ini" "$root/install/Firefox/chrome/content/quorvantis.ini"
save
[ "$(stat -c %h "$root/elsewhere/quorvantis.ini")" = 2 ] || fail "the hard link was split"
expect_bytes "$root/elsewhere/quorvantis.ini" "$new"
expect_no_temporary

scene link-to-read-only-file
mkdir "$root/install/Firefox/chrome/content"
link=$root/install/Firefox/chrome/content/quorvantis.ini
ln -s "$root/elsewhere/quorvantis.ini" "$link"
chmod a-w "$root/elsewhere/quorvantis.ini"
if wine "$saver" --save "Z:${root//\//\\}\\install" NEW-KEY 2>/dev/null; then fail "it saved"; fi
expect_link "$link" "$root/elsewhere/quorvantis.ini"
expect_bytes "$root/elsewhere/quorvantis.ini" "$old"
expect_no_temporary

if [ "$failures" -ne 0 ]; then
  echo "FAIL: $failures check(s) failed" >&2
  exit 1
fi
echo "PASS: every link kept, the file behind it saved"
