#!/usr/bin/env bash
# scripts/release.sh end to end: two releases of HEAD, built in different folders at different
# times, are byte for byte the same; a throwaway certificate signs the program with a timestamp,
# and it still runs; the ZIP holds exactly its files, text in CR LF, with their checksums and the
# last commit's time, and its own SHA-256 lies beside it.
#   release_test.sh uak_probe.exe
# The signed program runs through the end-to-end scenarios, so this needs WINEPREFIX, DISPLAY and
# WINEDEBUG as scripts/wine-tests.sh run sets them.
set -euo pipefail

probe_exe=${1:?usage: release_test.sh uak_probe.exe}
# A certificate of the caller's would sign the releases meant to be unsigned.
unset UPDATEACCESSKEY_SIGN_PFX UPDATEACCESSKEY_SIGN_PASSWORD UPDATEACCESSKEY_SIGN_TIMESTAMP
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  printf 'FAIL: %s\n' "$@" >&2
  exit 1
}
step() { printf -- '-- %s\n' "$*"; }

# release NAME [VARIABLE=VALUE...]: a release into $work/NAME, built under a temporary folder of
# its own, with its output in $work/NAME.log.
release() {
  local name=$1
  shift
  mkdir -p "$work/tmp-$name"
  env TMPDIR="$work/tmp-$name" "$@" "$root/scripts/release.sh" "$work/$name" >"$work/$name.log" 2>&1 ||
    fail "the release $name failed:" "$(cat "$work/$name.log")"
}
# printed NAME WHAT: the SHA-256 that the release NAME printed for WHAT.
printed() {
  local hash
  hash=$(sed -n "s/^SHA-256 $2: \([0-9a-f]\{64\}\)$/\1/p" "$work/$1.log")
  [ -n "$hash" ] || fail "the release $1 printed no SHA-256 for $2:" "$(cat "$work/$1.log")"
  echo "$hash"
}

version=$(sed -n 's/^project(UpdateAccessKey VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
zip_name=UpdateAccessKey-$version-win64.zip
program='UpdateAccessKey.exe, unsigned'

step "two unsigned releases, in folders of different lengths; each build takes over ten seconds"
release first
release second-with-a-longer-name
for name in first second-with-a-longer-name; do
  grep -q 'the release is unsigned' "$work/$name.log" || fail "the release $name did not say it is unsigned"
  [ -f "$work/$name/$zip_name" ] || fail "the release $name wrote no $zip_name:" "$(ls "$work/$name")"
done
[ "$(printed first "$program")" = "$(printed second-with-a-longer-name "$program")" ] ||
  fail "the two builds gave different programs"
[ "$(printed first "$zip_name")" = "$(printed second-with-a-longer-name "$zip_name")" ] ||
  fail "the two releases gave different ZIPs"
[ "$(printed first "$zip_name")" = "$(sha256sum "$work/first/$zip_name" | cut -d' ' -f1)" ] ||
  fail "the printed SHA-256 is not the ZIP's"

# unpack NAME: the release NAME's ZIP, checked by the .sha256 beside it and unpacked into
# $work/NAME/unpacked, holds exactly these files, SHA256SUMS listing the others, and each text
# file ends every line in CR LF.
contents=(UpdateAccessKey.exe ReadMe.txt BUILDINFO.txt THIRD-PARTY-NOTICES.txt)
unpack() {
  local dir=$work/$1/unpacked file
  (cd "$work/$1" && sha256sum --quiet -c "$zip_name.sha256") || fail "$zip_name.sha256 of $1 is wrong"
  [ "$(zipinfo -1 "$work/$1/$zip_name")" = "$(printf '%s\n' "${contents[@]}" SHA256SUMS)" ] ||
    fail "the ZIP of $1 holds:" "$(zipinfo -1 "$work/$1/$zip_name")"
  mkdir "$dir"
  (cd "$dir" && TZ=UTC unzip -q "../$zip_name")
  [ "$(cut -d' ' -f3 "$dir/SHA256SUMS" | tr -d '\r')" = "$(printf '%s\n' "${contents[@]}")" ] ||
    fail "SHA256SUMS of $1 lists:" "$(cat "$dir/SHA256SUMS")"
  (cd "$dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS of $1 does not match its files"
  for file in "${contents[@]:1}" SHA256SUMS; do
    ! grep -qv $'\r$' "$dir/$file" || fail "$file of $1 has a line without CR LF"
  done
}

step "the ZIP's files, their checksums and their times"
unpack first
unpacked=$work/first/unpacked
[ "$(sha256sum <"$unpacked/UpdateAccessKey.exe" | cut -d' ' -f1)" = "$(printed first "$program")" ] ||
  fail "the ZIP's program is not the one whose SHA-256 was printed"
epoch=$(git -C "$root" log -1 --format=%ct)
for file in "$unpacked"/*; do
  # A ZIP keeps times to two seconds.
  time=$(stat -c %Y "$file")
  ((time >= epoch - 1 && time <= epoch + 1)) ||
    fail "$(basename "$file") is dated $(date -u -d "@$time"), not at the last commit"
done
grep -q $'HKEY_CURRENT_USER\\\\Software\\\\Quorvantis\\.\r$' "$unpacked/ReadMe.txt" ||
  fail "the read-me does not name the registry key on a line of its own ending in CR LF"
for want in "BUILDINFO.txt:from commit $(git -C "$root" rev-parse HEAD)"$'\r' \
  "BUILDINFO.txt:  $(dpkg-query -W -f='${Package} ${Version}' g++-mingw-w64-x86-64-posix)"$'\r' \
  'THIRD-PARTY-NOTICES.txt:Files: mingw-w64-libraries/winpthreads/*' 'THIRD-PARTY-NOTICES.txt:GCC RUNTIME LIBRARY EXCEPTION'; do
  grep -qF "${want#*:}" "$unpacked/${want%%:*}" || fail "${want%%:*} lacks '${want#*:}'"
done

step "a certificate without its password, or without a timestamp server, is refused before the build"
for refusal in 'Set both UPDATEACCESSKEY_SIGN_PFX and UPDATEACCESSKEY_SIGN_PASSWORD' \
  'A certificate needs UPDATEACCESSKEY_SIGN_TIMESTAMP'; do
  extra=() && [[ $refusal != A* ]] || extra=(UPDATEACCESSKEY_SIGN_PASSWORD=x)
  env UPDATEACCESSKEY_SIGN_PFX="$work/none.pfx" "${extra[@]}" "$root/scripts/release.sh" "$work/refused" \
    >"$work/refused.log" 2>&1 && fail "the release went on, expected: $refusal"
  grep -q "$refusal" "$work/refused.log" || fail "the refusal does not say why:" "$(cat "$work/refused.log")"
done

step "a release signed with a throwaway certificate, osslsigncode standing in for the timestamp server"
# Spaces, a dollar sign and quotes: the password must reach osslsigncode as it is.
# shellcheck disable=SC2016
password='pass word $1 "quoted"'
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=UpdateAccessKey test signer" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout "pass:$password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=UpdateAccessKey test TSA" \
  -addext "extendedKeyUsage=critical,timeStamping" -keyout "$work/tsa-key.pem" -out "$work/tsa.pem" 2>/dev/null
# No network here: osslsigncode is its own timestamp authority, and the URL it was given is kept.
mkdir "$work/bin"
cat >"$work/bin/osslsigncode" <<'EOF'
#!/usr/bin/env bash
for ((i = 1; i < $#; i++)); do [ "${!i}" != -ts ] || break; done
url=$((i + 1)) && echo "${!url}" >"$TSA_DIR/timestamp-url"
exec /usr/bin/osslsigncode "${@:1:i-1}" "${@:i+2}" -TSA-certs "$TSA_DIR/tsa.pem" -TSA-key "$TSA_DIR/tsa-key.pem"
EOF
chmod +x "$work/bin/osslsigncode"
url=http://timestamp.example/rfc3161
release signed UPDATEACCESSKEY_SIGN_PFX="$work/cert.pfx" UPDATEACCESSKEY_SIGN_PASSWORD="$password" \
  UPDATEACCESSKEY_SIGN_TIMESTAMP="$url" PATH="$work/bin:$PATH" TSA_DIR="$work"
[ "$(cat "$work/timestamp-url")" = "$url" ] || fail "osslsigncode was not given the timestamp server"
[ "$(printed signed "$program")" = "$(printed first "$program")" ] ||
  fail "the signed release was built from a different program"
unpack signed
signed=$work/signed/unpacked/UpdateAccessKey.exe
[ "$(sha256sum <"$signed" | cut -d' ' -f1)" = "$(printed signed 'UpdateAccessKey.exe, signed')" ] ||
  fail "the ZIP's program is not the signed one whose SHA-256 was printed"
cmp -s "$signed" "$unpacked/UpdateAccessKey.exe" && fail "the signed release's program is unsigned"

# The throwaway certificate is its own root, so it is given as the one to trust.
report=$(osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa.pem" -in "$signed" 2>&1) ||
  fail "osslsigncode does not accept the signature:" "$report"
grep -q '^Timestamp Server Signature verification: ok' <<<"$report" || fail "no valid timestamp:" "$report"
grep -q '^Message digest algorithm  : SHA256' <<<"$report" || fail "not signed with SHA-256:" "$report"
current=$(sed -n 's/^Current message digest *: //p' <<<"$report")
calculated=$(sed -n 's/^Calculated message digest *: //p' <<<"$report")
[[ -n $current && $current == "$calculated" ]] || fail "the signed digest does not match:" "$report"
grep -q 'Subject: /CN=UpdateAccessKey test signer' <<<"$report" || fail "signed by someone else:" "$report"

step "the signed program shows the found window under Wine"
bash "$root/tests/e2e/scenarios.sh" found "$signed" "$probe_exe"
echo "PASS release"
