#!/usr/bin/env bash
# The Windows tests' ZIP that scripts/release.sh writes, run as a maintainer runs it on Windows:
# unpacked into this test's own prefix, `cmd /c run-tests.cmd` ends with "N passed, 0 failed",
# every skip names its reason, and the installation's registry value is as it was planted.
# Needs WINEPREFIX, DISPLAY and WINEDEBUG as scripts/wine-tests.sh run sets them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { printf 'FAIL: %s\n' "$@" >&2 && exit 1; }

env -u UPDATEACCESSKEY_SIGN_PFX -u UPDATEACCESSKEY_SIGN_PASSWORD TMPDIR="$work" "$root/scripts/release.sh" "$work/dist" >"$work/release.log" 2>&1 ||
  fail "the release failed:" "$(cat "$work/release.log")"
unzip -q "$work"/dist/UpdateAccessKey-*-tests-win64.zip -d "$WINEPREFIX/drive_c/tests"
planted='C:\Quorvantis planted before the tests'
wine reg add 'HKCU\Software\Quorvantis' /ve /t REG_SZ /d "$planted" /f >/dev/null
status=0
(cd "$WINEPREFIX/drive_c/tests" && wine cmd /c run-tests.cmd) | tr -d '\r' >"$work/run.log" || status=$?
value=$(wine reg query 'HKCU\Software\Quorvantis' /ve 2>&1 | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p') || true
[ "$value" = "$planted" ] || fail "HKCU\\Software\\Quorvantis holds '$value' after the run, not '$planted'"
last=$(tail -n 1 "$work/run.log")
[[ $status == 0 && $last =~ ^[0-9]+\ passed,\ 0\ failed(,\ [0-9]+\ skipped)?$ ]] ||
  fail "run-tests.cmd ended with exit code $status and: $last" "$(cat "$work/run.log")"
# GoogleTest prints a skip's reason on the line after "Skipped".
awk '/Skipped$/ { getline reason; given += reason != "" } /^\[  SKIPPED \] .*\(/ { skips++ }
  END { exit skips != given }' "$work/run.log" || fail "a skip without its reason:" "$(cat "$work/run.log")"
echo "PASS: $last"
