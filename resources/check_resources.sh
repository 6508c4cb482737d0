#!/usr/bin/env bash
# Checks a built UpdateAccessKey.exe: icon, logo, version and manifest resources, the PE
# hardening flags, that it imports nothing but system DLLs, none of COM's and no function that
# Windows 7 lacks, and that it stays within 360,000 bytes.
# Usage: check_resources.sh EXE
set -uo pipefail

exe=${1:?usage: check_resources.sh EXE}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
errors=0
fail() {
  echo "FAIL: $*" >&2
  errors=$((errors + 1))
}

[[ -f $exe ]] || { echo "FAIL: no such file: $exe" >&2; exit 1; }
for tool in wrestool icotool od cmp; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Loads a file's bytes into the global array `bytes`.
load() { read -r -a bytes < <(od -An -v -tu1 "$1" | tr -s ' \n' '  '); }
u16() { echo $((bytes[$1] | bytes[$1 + 1] << 8)); }
u32() { echo $(($(u16 "$1") | $(u16 $(($1 + 2))) << 16)); }
extract() { wrestool -x --raw "$@" "$exe" >"$tmp/res" 2>/dev/null && [[ -s $tmp/res ]]; }

listing=$(wrestool -l "$exe" 2>/dev/null)
listed() { grep -E -- "$1" <<<"$listing"; }

# --- Icon -------------------------------------------------------------------------------------
# width bits bytes, in the group's order; the images have ids 30001.. in the same order
expected_icons=("48 8 3752" "32 8 2216" "24 8 1736" "16 8 1384"
  "48 32 9640" "32 32 4264" "24 32 2440" "16 32 1128")

[[ $(listed '^--type=14 ' | wc -l) == 1 ]] || fail "expected exactly one icon group"
[[ $(listed '^--type=3 ' | wc -l) == "${#expected_icons[@]}" ]] ||
  fail "expected exactly ${#expected_icons[@]} icon images"
if ! listed '^--type=14 --name=1 --language=0 ' >/dev/null || ! extract -t14 -n1; then
  fail "icon group 1 (language neutral) is missing"
else
  load "$tmp/res"
  [[ "$(u16 0) $(u16 2) $(u16 4)" == "0 1 ${#expected_icons[@]}" ]] ||
    fail "icon group header is $(u16 0) $(u16 2) $(u16 4), expected 0 1 ${#expected_icons[@]}"
  for i in "${!expected_icons[@]}"; do
    read -r size bits count <<<"${expected_icons[$i]}"
    e=$((6 + 14 * i)) id=$((30001 + i))
    got="${bytes[e]}x${bytes[e + 1]} colours=${bytes[e + 2]} planes=$(u16 $((e + 4)))"
    got+=" bits=$(u16 $((e + 6))) bytes=$(u32 $((e + 8))) id=$(u16 $((e + 12)))"
    want="${size}x$size colours=0 planes=1 bits=$bits bytes=$count id=$id"
    [[ $got == "$want" ]] || fail "icon entry $((i + 1)) is '$got', expected '$want'"
    listed "^--type=3 --name=$id --language=0 .*size=$count\]" >/dev/null ||
      fail "icon image $id (language neutral, $count bytes) is missing"
  done
  # wrestool pads the icon it rebuilds with zeros, so compare only the real length.
  wrestool -x -t14 -n1 "$exe" >"$tmp/app.ico" 2>/dev/null
  head -c "$(wc -c <"$here/app.ico")" "$tmp/app.ico" | cmp -s - "$here/app.ico" ||
    fail "the embedded icon differs from app.ico"
  [[ $(icotool -l "$tmp/app.ico" 2>/dev/null | grep -c -- '--icon') == 8 ]] ||
    fail "icotool does not see 8 images in the embedded icon"
fi

# --- Logo -------------------------------------------------------------------------------------
# A BITMAP resource is the .bmp file without its 14-byte file header.
if ! extract -t2 -n101; then
  fail "logo bitmap 101 is missing"
elif ! tail -c +15 "$here/logo.bmp" | cmp -s - "$tmp/res"; then
  fail "the embedded logo differs from logo.bmp"
fi

# --- Version ----------------------------------------------------------------------------------
# Walks the VS_VERSIONINFO tree into `nodes`: one line per block, indented by depth, with its
# key and value. Text values must end with their NUL, which is not printed.
nodes=()
text_at() {  # offset, count of UTF-16 units -> sets `text` (non-ASCII shown as '?')
  text=
  local k c ch
  for ((k = 0; k < $2; k++)); do
    c=$((bytes[$1 + 2 * k] | bytes[$1 + 2 * k + 1] << 8))
    if ((c > 31 && c < 127)); then printf -v ch '%b' "\\x$(printf %02x "$c")"; else ch='?'; fi
    text+=$ch
  done
}
walk() {  # offset end depth
  local off=$1 end=$2 depth=$3 len vlen type p key
  while ((off + 6 <= end)); do
    len=$(u16 "$off") vlen=$(u16 $((off + 2))) type=$(u16 $((off + 4)))
    if ((len < 6 || off + len > end)); then
      fail "version block at byte $off has a bad length ($len)"
      return
    fi
    key=
    for ((p = off + 6; p + 1 < off + len && $(u16 "$p") != 0; p += 2)); do
      text_at "$p" 1
      key+=$text
    done
    p=$(((p + 2 + 3) & ~3))
    if ((type == 1 && vlen > 0)); then
      text_at "$p" $((vlen - 1))
      (($(u16 $((p + 2 * vlen - 2))) == 0)) || fail "version string $key is not NUL-terminated"
      nodes+=("$(printf '%*s' $((2 * depth)) '')$key = $text")
      p=$(((p + 2 * vlen + 3) & ~3))
    elif ((depth > 0 && vlen > 0)); then
      nodes+=("$(printf '%*s' $((2 * depth)) '')$key = $(printf '%02x' "${bytes[@]:p:vlen}")")
      p=$(((p + vlen + 3) & ~3))
    else
      nodes+=("$(printf '%*s' $((2 * depth)) '')$key")
      p=$(((p + vlen + 3) & ~3))
    fi
    walk "$p" $((off + len)) $((depth + 1))
    off=$(((off + len + 3) & ~3))
  done
}

if ! listed '^--type=16 --name=1 --language=1033 ' >/dev/null || ! extract -t16 -n1; then
  fail "version resource 1 (language 1033) is missing"
else
  load "$tmp/res"
  if [[ $(u16 2) != 52 ]] || (($(u32 40) != 0xFEEF04BD)); then
    fail "version resource has no VS_FIXEDFILEINFO"
  else
    # file version MS/LS, product version MS/LS, flags mask, flags, OS, type, subtype
    fixed=$(for f in 48 52 56 60 64 68 72 76 80; do printf '%08x ' "$(u32 $f)"; done)
    want="00010028 00000000 00010028 00000000 00000000 00000000 00000004 00000001 00000000 "
    [[ $fixed == "$want" ]] || fail "fixed version info is '$fixed', expected '$want'"
  fi
  walk 0 "${#bytes[@]}" 0
  expected=$(
    cat <<'EOF'
VS_VERSION_INFO
  VarFileInfo
    Translation = 0904b004
  StringFileInfo
    040904B0
      CompanyName = Quorvantis Software
      FileDescription = Quorvantis - Update Access key
      LegalCopyright = Copyright (C) 2026 Quorvantis Software
      LegalTrademarks = All rights reserved.
      ProductName = Quorvantis
      FileVersion = 1.40
      ProductVersion = 1.40
      InternalName = UpdateAccessKey
      OriginalFilename = UpdateAccessKey.exe
EOF
  )
  actual=$(printf '%s\n' "${nodes[@]}")
  [[ $actual == "$expected" ]] ||
    fail "version blocks differ (expected vs actual):$(diff <(echo "$expected") <(echo "$actual"))"
fi

# --- Manifest ---------------------------------------------------------------------------------
if [[ $(listed '^--type=24 ' | wc -l) != 1 ]] || ! extract -t24 -n1; then
  fail "expected exactly one manifest, with id 1"
else
  manifest=$(tr '\r\n\t' '   ' <"$tmp/res")
  has() { grep -Eiq -- "$1" <<<"$manifest" || fail "manifest lacks $2"; }
  has 'requestedExecutionLevel[^>]*level="asInvoker"' 'requestedExecutionLevel asInvoker'
  has '<assemblyIdentity[^>]*name="Quorvantis\.UpdateAccessKey"[^>]*version="1\.40\.0\.0"' \
    "the program's identity with version 1.40.0.0"
  has '<assemblyIdentity[^>]*name="Microsoft\.Windows\.Common-Controls"[^>]*version="6\.0\.0\.0"' \
    'the Common-Controls 6.0.0.0 dependency'
  has '<dpiAwareness[^>]*>[^<]*PerMonitorV2' 'dpiAwareness PerMonitorV2'
  for os in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
    1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    has "<supportedOS[^>]*Id=\"\\{$os\\}\"" "supportedOS $os"
  done
  ! grep -Eiq '<([a-z0-9]+:)?activeCodePage' <<<"$manifest" || fail "manifest must not set activeCodePage"
fi

# --- PE header and imports --------------------------------------------------------------------
headers=$("$objdump" -p "$exe" 2>/dev/null)
flags=$(awk '$1 == "DllCharacteristics" { print $2 }' <<<"$headers")
if [[ -z $flags ]]; then
  fail "$objdump cannot read the PE header"
else
  for bit in 0x40:DYNAMIC_BASE 0x20:HIGH_ENTROPY_VA 0x100:NX_COMPAT; do
    ((0x$flags & ${bit%%:*})) || fail "DllCharacteristics 0x$flags lacks ${bit#*:}"
  done
fi
system='^(kernel32|user32|gdi32|advapi32|comctl32|shell32|msvcrt|ucrtbase|shlwapi|uxtheme|ole32)\.dll$|^api-ms-win-.*\.dll$'
dlls=$(awk '/DLL Name:/ { print $3 }' <<<"$headers")
[[ -n $dlls ]] || fail "no imported DLLs found"
for dll in $dlls; do
  grep -Eiq "$system" <<<"$dll" || fail "imports $dll, which is not a system DLL"
  # COM is loaded when a label is first announced, never at start-up.
  grep -Eiq '^(ole32|oleacc|oleaut32)\.dll$' <<<"$dll" && fail "imports $dll at start-up"
done
# Windows 7, the oldest that the manifest and _WIN32_WINNT declare, lacks these (some come with an
# update only). Its loader refuses to start a program that imports one: the program must look
# them up at run time.
newer_than_7='SetDefaultDllDirectories|AddDllDirectory|RemoveDllDirectory|GetDpiForWindow|GetDpiForSystem|'
newer_than_7+='GetSystemMetricsForDpi|AdjustWindowRectExForDpi|SystemParametersInfoForDpi|'
newer_than_7+='SetThreadDpiAwarenessContext|SetProcessDpiAwarenessContext|EnableNonClientDpiScaling|'
newer_than_7+='GetDpiForMonitor|SetProcessDpiAwareness|GetSystemTimePreciseAsFileTime|CreateFile2|CopyFile2'
imported=$(awk '/^The Import Tables/ { on = 1 } /^The (Export|Function) Table|^PE File Base/ { on = 0 }
  on && NF == 3 && $2 ~ /^[0-9]+$/ { print $3 }' <<<"$headers")
[[ -n $imported ]] || fail "no imported functions found"
for function in $(grep -Ex "$newer_than_7" <<<"$imported"); do
  fail "imports $function, which Windows 7 lacks"
done
size=$(stat -c %s "$exe")
((size <= 360000)) || fail "the program is $size bytes, over 360,000"

if ((errors)); then
  echo "$exe: $errors resource check(s) failed" >&2
  exit 1
fi
echo "$exe: resources and PE settings OK"
