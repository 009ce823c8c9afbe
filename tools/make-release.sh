#!/bin/sh
# Makes a signed release of an install tree (made by `cmake --install build --prefix ROOT`):
#   tools/make-release.sh ROOT PRIVATE_KEY.pem OUT_DIR BASE_URL
# writes OUT_DIR/Ostrel-<version>-linux-<arch>.zip (one top-level Ostrel/ folder), its signature
# OUT_DIR/<zip>.sig (base64 Ed25519 over the archive's bytes), and OUT_DIR/manifest.json, a feed whose
# "url" is BASE_URL/<zip>. The version comes from the tree's share/ostrel/bundle.json.
#
# A signing key: openssl genpkey -algorithm ed25519 -out release-key.pem
# Its public half, for the build's OSTREL_UPDATE_PUBLIC_KEYS:
#   openssl pkey -in release-key.pem -pubout -outform DER | base64 -w0
set -eu

if [ $# -ne 4 ]; then
  echo "usage: $0 ROOT PRIVATE_KEY.pem OUT_DIR BASE_URL" >&2
  exit 2
fi
root=$1 key=$2 out=$3 base=$4
marker="$root/share/ostrel/bundle.json"
[ -x "$root/bin/Ostrel" ] || { echo "$root/bin/Ostrel: not an installed program" >&2; exit 1; }
[ -f "$marker" ] || { echo "$marker: missing (not an install tree)" >&2; exit 1; }

field() { sed -n "s/^ *\"$1\": *\"\{0,1\}\([^\",]*\)\"\{0,1\},\{0,1\}\$/\1/p" "$marker" | head -n 1; }
version=$(field version)
build=$(field build)
[ -n "$version" ] || { echo "$marker: no version" >&2; exit 1; }
case $version in *[!A-Za-z0-9._+-]*) echo "unexpected version text: $version" >&2; exit 1 ;; esac

mkdir -p "$out"
out=$(cd "$out" && pwd)
name="Ostrel-$version-linux-$(uname -m).zip"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -a "$root" "$work/Ostrel"
rm -f "$out/$name"
(cd "$work" && zip -q -r -y -X "$out/$name" Ostrel)

sha=$(sha256sum "$out/$name" | cut -d ' ' -f 1)
signature=$(openssl pkeyutl -sign -rawin -inkey "$key" -in "$out/$name" | base64 -w0)
printf '%s\n' "$signature" > "$out/$name.sig"
{
  printf '{\n  "version": "%s",\n' "$version"
  [ -n "$build" ] && printf '  "build": %s,\n' "$build"
  printf '  "url": "%s/%s",\n  "sha256": "%s",\n  "signature": "%s"\n}\n' "$base" "$name" "$sha" "$signature"
} > "$out/manifest.json"
echo "$out/$name"
