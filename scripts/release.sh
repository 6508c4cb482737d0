#!/usr/bin/env bash
# Makes the release from the committed sources (HEAD): the Release program built in a fresh
# folder, checked, signed when a certificate is given, and zipped with the user's read-me and the
# checksums into OUTPUT_DIR (dist/ by default).
#   scripts/release.sh [OUTPUT_DIR]
# UPDATEACCESSKEY_SIGN_PFX (a PKCS#12 file) and UPDATEACCESSKEY_SIGN_PASSWORD: the code-signing
# certificate and its password.
# The same commit gives the same unsigned program and, unsigned, the same ZIP, on any machine
# with the same Debian packages: every time in them is the last commit's.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

out=$(realpath -m "${1:-$ROOT/dist}")
pfx=${UPDATEACCESSKEY_SIGN_PFX:+$(realpath -m "$UPDATEACCESSKEY_SIGN_PFX")}
password_set=${UPDATEACCESSKEY_SIGN_PASSWORD+yes}
if [[ -n $pfx && -z $password_set || -z $pfx && -n $password_set ]]; then
  echo "Set both UPDATEACCESSKEY_SIGN_PFX and UPDATEACCESSKEY_SIGN_PASSWORD, or neither" >&2
  exit 2
fi
[ -z "$pfx" ] || [ -f "$pfx" ] || { echo "No such certificate: $pfx" >&2; exit 2; }

ensure_packages
cd "$ROOT"
commit=$(git rev-parse HEAD)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
# The ZIP stores local times.
export SOURCE_DATE_EPOCH TZ=UTC
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  say "Uncommitted changes are not in the release, which is built from $commit"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/src
mkdir "$src"
git archive HEAD | tar -x -C "$src"

say "Building the Release program from $commit"
(cd "$src" && cmake --preset windows -DBUILD_TESTING=OFF >/dev/null &&
  cmake --build --preset windows --target UpdateAccessKey >/dev/null)
build=$src/build/windows
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "project() in CMakeLists.txt gives no version" >&2; exit 1; }
unsigned=$build/UpdateAccessKey.exe
/usr/bin/python3 "$src/resources/check_resources.py" "$unsigned" >&2

stage=$work/zip
mkdir "$stage"
if [ -n "$pfx" ]; then
  say "Signing the program with $pfx"
  # The password goes through a pipe, not the command line that other users can list.
  osslsigncode sign -pkcs12 "$pfx" -readpass <(printf '%s' "$UPDATEACCESSKEY_SIGN_PASSWORD") \
    -h sha256 -n "Quorvantis - Update Access key" \
    -in "$unsigned" -out "$stage/UpdateAccessKey.exe" >/dev/null
else
  say "No certificate given: the release is unsigned"
  cp "$unsigned" "$stage/UpdateAccessKey.exe"
fi
# Notepad before Windows 10 shows a file with bare line feeds as one line.
sed 's/$/\r/' "$src/resources/ReadMe.txt" >"$stage/ReadMe.txt"
files=(UpdateAccessKey.exe ReadMe.txt)
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)
files+=(SHA256SUMS)

# The ZIP also stores the modes, which the umask would decide.
chmod 0644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
mkdir -p "$out"
zip_file=$out/UpdateAccessKey-$version-win64.zip
rm -f "$zip_file"
# The files in a fixed order, with neither folder entries nor Unix times and owners.
(cd "$stage" && zip -q -X -D "$zip_file" "${files[@]}")

say "Release $version: $zip_file"
sha() { sha256sum "$1" | cut -d' ' -f1; }
echo "SHA-256 UpdateAccessKey.exe, unsigned: $(sha "$unsigned")"
[ -z "$pfx" ] || echo "SHA-256 UpdateAccessKey.exe, signed: $(sha "$stage/UpdateAccessKey.exe")"
echo "SHA-256 $(basename "$zip_file"): $(sha "$zip_file")"
