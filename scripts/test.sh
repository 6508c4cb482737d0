#!/usr/bin/env bash
# Runs every test: the native unit tests (plain, under sanitizers, and fuzzed), then the Windows tests and end-to-end runs of the
# program under Wine on a private Xvfb and Wine prefix.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages

say "Native build and unit tests"
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
ctest --preset linux

say "Native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan >/dev/null
ctest --preset linux-asan

say "Fuzzing: corpus replay and a bounded run of each target"
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz >/dev/null
ctest --preset linux-fuzz

build_windows
ensure_wine_prefix "$ROOT/build/wine-test"
trap 'wineserver -k 2>/dev/null || true; stop_display' EXIT
start_display

say "Windows tests under Wine (display $DISPLAY)"
ctest --preset windows
