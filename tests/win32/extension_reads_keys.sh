#!/usr/bin/env bash
# Firefox's script engine (the SpiderMonkey shell) reads key files that the real writer made under
# Wine, in the ANSI code page that LC_ALL gives Wine:
#   extension_reads_keys.sh KeyFilePeerWriter.exe
# Every saved key must read back exactly as typed; every refused key, written as typed, would have
# read otherwise or not at all. Prints what the engine read for each.
set -euo pipefail

writer=$1
js=$(command -v js102) || {
  echo "js102 is missing: scripts/test.sh installs libmozjs-102-dev" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wine "$writer" "Z:${work//\//\\}"
codepage=$(cat "$work/codepage")
echo "code page $codepage"

# The shell's load() reads UTF-8, so the file is decoded from its code page first.
engine_reads() {
  iconv -f "CP$codepage" -t UTF-8 "$1/Firefox/chrome/content/quorvantis.ini" >"$1/key.js"
  "$js" -e "load('$1/key.js'); putstr(accessKey)" >"$1/read" 2>"$1/error"
}

shown() {
  local text
  text=$(cat "$1")
  [ ${#text} -gt 40 ] && text="${text:0:20}... (${#text} characters)"
  printf '"%s"' "${text//$'\t'/\\t}"
}

failures=0
for case in "$work"/[0-9]*; do
  name=$(cat "$case/name")
  verdict=$(cat "$case/verdict")
  if engine_reads "$case"; then
    read_back=$(shown "$case/read")
  else
    read_back="error: $(head -1 "$case/error" | sed 's/^[^ ]* //')"
  fi
  if [ "$verdict" = saved ]; then
    cmp -s "$case/read" "$case/typed" && outcome=ok || outcome=MISREAD
  else
    cmp -s "$case/read" "$case/typed" && outcome=READ-AS-TYPED || outcome=ok
  fi
  [ "$outcome" = ok ] || failures=$((failures + 1))
  printf '%-8s %-30s typed %-32s engine read %s  %s\n' \
    "$verdict" "$name" "$(shown "$case/typed")" "$read_back" "$outcome"
done

if [ "$failures" -ne 0 ]; then
  echo "FAIL: $failures key(s) did not read as expected" >&2
  exit 1
fi
echo "PASS: the engine read every saved key as typed"
