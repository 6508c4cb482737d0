#!/usr/bin/env bash
# Makes the release from the committed sources (HEAD): the Release program built in a fresh
# folder, checked, signed when a certificate is given, and zipped with the user's read-me, what
# built it, the notices of the runtime linked into it and the checksums into OUTPUT_DIR (dist/ by
# default), with the ZIP's own SHA-256 beside it; and a second ZIP, of the Windows tests with
# run-tests.cmd, for a Windows machine.
#   scripts/release.sh [OUTPUT_DIR]
# UPDATEACCESSKEY_SIGN_PFX (a PKCS#12 file) and UPDATEACCESSKEY_SIGN_PASSWORD: the code-signing
# certificate and its password. UPDATEACCESSKEY_SIGN_TIMESTAMP: the URL of an RFC 3161 timestamp
# server, required with a certificate, as a signature without a timestamp dies with it.
# The same commit gives the same unsigned program and, unsigned, the same ZIPs, on any machine
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
timestamp_url=${UPDATEACCESSKEY_SIGN_TIMESTAMP:-}
if [[ -n $pfx && -z $timestamp_url ]]; then
  echo "A certificate needs UPDATEACCESSKEY_SIGN_TIMESTAMP, the URL of an RFC 3161 timestamp server" >&2
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

say "Building the Release program and the Windows tests from $commit"
tests=(StorageWin32Test Form1WindowTest)
(cd "$src" && cmake --preset windows >/dev/null &&
  cmake --build --preset windows --target UpdateAccessKey "${tests[@]}" >/dev/null)
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
    -h sha256 -n "Quorvantis - Update Access key" -ts "$timestamp_url" \
    -in "$unsigned" -out "$stage/UpdateAccessKey.exe" >/dev/null
else
  say "No certificate given: the release is unsigned"
  cp "$unsigned" "$stage/UpdateAccessKey.exe"
fi
# Every text file ends its lines in CR LF: Notepad before Windows 10 shows bare line feeds as one line.
crlf() { sed 's/\r*$/\r/'; }
crlf <"$src/resources/ReadMe.txt" >"$stage/ReadMe.txt"
# What built the program: with the same commit and these packages, anyone gets the same bytes.
build_packages=(binutils-mingw-w64-x86-64 cmake g++-mingw-w64-x86-64-posix gcc-mingw-w64-base
  gcc-mingw-w64-x86-64-posix make mingw-w64-x86-64-dev)
{
  echo "UpdateAccessKey $version, built by scripts/release.sh from commit $commit"
  echo "SHA-256 of the unsigned UpdateAccessKey.exe: $(sha256sum <"$unsigned" | cut -d' ' -f1)"
  echo "Debian packages ($(. /etc/os-release && echo "$PRETTY_NAME"), dpkg-query):"
  dpkg-query -W -f='  ${Package} ${Version}\n' "${build_packages[@]}"
} | crlf >"$stage/BUILDINFO.txt"
# The program carries, linked in statically, parts of MinGW-w64's runtime and winpthreads and of
# GCC's libstdc++ and libgcc: their notices, from the copyright files of the packages that built it.
gcc_copyright=/usr/share/doc/gcc-mingw-w64-base/copyright
{
  echo "UpdateAccessKey.exe contains parts of the following libraries, linked into it when it was"
  echo "built. Their notices follow, as Debian's packages of them give them."
  echo
  echo "1. The MinGW-w64 runtime and winpthreads"
  echo "   (Debian package mingw-w64-x86-64-dev $(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev))"
  echo
  cat /usr/share/doc/mingw-w64-x86-64-dev/copyright
  echo
  echo "2. GCC's runtime libraries libstdc++ and libgcc"
  echo "   (Debian package gcc-mingw-w64-base $(dpkg-query -W -f='${Version}' gcc-mingw-w64-base))"
  echo
  echo "They are licensed under the GNU General Public License, version 3 or later, with version 3.1"
  echo "of the GCC Runtime Library Exception, which permits programs compiled with GCC to carry them"
  echo "under terms of their own:"
  echo
  sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/^requirements of the license of GCC\.$/p' "$gcc_copyright"
} | crlf >"$stage/THIRD-PARTY-NOTICES.txt"
grep -q '^requirements of the license of GCC' "$stage/THIRD-PARTY-NOTICES.txt" ||
  { echo "$gcc_copyright no longer holds the GCC Runtime Library Exception as expected" >&2; exit 1; }
files=(UpdateAccessKey.exe ReadMe.txt BUILDINFO.txt THIRD-PARTY-NOTICES.txt)
(cd "$stage" && sha256sum "${files[@]}" | crlf >SHA256SUMS)
files+=(SHA256SUMS)

# zip_files ZIP DIR FILE...: DIR's FILEs into ZIP, in this order, with neither folder entries nor
# Unix times and owners; a ZIP also stores the modes, which the umask would decide.
zip_files() {
  local zip=$1 dir=$2
  shift 2
  (cd "$dir" && chmod 0644 "$@" && touch -d "@$SOURCE_DATE_EPOCH" "$@")
  rm -f "$zip"
  (cd "$dir" && zip -q -X -D "$zip" "$@")
}
mkdir -p "$out"
zip_file=$out/UpdateAccessKey-$version-win64.zip
zip_files "$zip_file" "$stage" "${files[@]}"
# Beside the ZIP, as a checksum inside it cannot vouch for the download: sha256sum -c reads it.
(cd "$out" && sha256sum "$(basename "$zip_file")" >"$zip_file.sha256")

# The test programs as ctest runs them under Wine, for one command on Windows.
tests_stage=$work/tests
mkdir "$tests_stage"
for test in "${tests[@]}"; do cp "$build/tests/win32/$test.exe" "$tests_stage/"; done
for text in run-tests.cmd ReadMe.txt; do crlf <"$src/tests/windows/$text" >"$tests_stage/$text"; done
tests_zip=$out/UpdateAccessKey-$version-tests-win64.zip
zip_files "$tests_zip" "$tests_stage" "${tests[@]/%/.exe}" run-tests.cmd ReadMe.txt

say "Release $version: $zip_file, and the tests: $tests_zip"
sha() { sha256sum "$1" | cut -d' ' -f1; }
echo "SHA-256 UpdateAccessKey.exe, unsigned: $(sha "$unsigned")"
[ -z "$pfx" ] || echo "SHA-256 UpdateAccessKey.exe, signed: $(sha "$stage/UpdateAccessKey.exe")"
echo "SHA-256 $(basename "$zip_file"): $(sha "$zip_file")"
