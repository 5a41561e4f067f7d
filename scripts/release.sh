#!/usr/bin/env bash
# Makes a release from a configured build: the artefact, its SHA-256, and the update manifest
# signed for the web service.
#   scripts/release.sh --key-file KEY --base-url https://downloads.example.org/ --email help@example.org [--build DIR] [--out DIR]
# The build must carry the same key (-DQUINDLE_MANIFEST_SIGNING_KEY) and the version to release
# (-DQUINDLE_VERSION). Writes <out>/quindle-<version>-linux-<arch>.tar.gz, .sha256 and manifest.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build out=dist key="" base="" email=""
while (($#)); do
  case $1 in
    --key-file) key=$2; shift 2 ;;
    --base-url) base=$2; shift 2 ;;
    --email) email=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "release.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[[ -n $key && -n $base && -n $email ]] || { sed -n 3,6p "$0" >&2; exit 2; }
[[ -r $key ]] || { echo "release.sh: cannot read the key file $key" >&2; exit 1; }
[[ $base == https://* ]] || { echo "release.sh: the base address must be https" >&2; exit 1; }
[[ $base$email != *[\"\\]* ]] || { echo "release.sh: no quotes or backslashes in the address or e-mail" >&2; exit 1; }

cmake --build "$build" >/dev/null
version=$("$build/src/app/quindle" --version | sed 's/^Quindle //')
mkdir -p "$out"
cpack -G TGZ --config "$build/CPackConfig.cmake" -B "$out/cpack" >/dev/null
name=$(cd "$out/cpack" && ls quindle-"$version"-linux-*.tar.gz)
mv "$out/cpack/$name" "$out/$name"
rm -rf "$out/cpack"
sum=$(sha256sum "$out/$name" | cut -d' ' -f1)
echo "$sum  $name" >"$out/$name.sha256"

released=$(date -u +%Y-%m-%dT%H:%M:%SZ)
cat >"$out/manifest.unsigned.json" <<JSON
{
  "version": "$version",
  "released_at": "$released",
  "issued_at": "$released",
  "download_url": "${base%/}/$name",
  "sha256": "$sum",
  "behaviour": {
    "auto_check_updates": true,
    "auto_check_updates_interval_hours": 24,
    "telemetry": {"crash": false, "perf": false, "events": false, "perf_sample_minutes": 15},
    "feature_flags": {}
  },
  "support": {"email": "$email"}
}
JSON
"$build/src/app/quindle" manifest sign --key-file "$key" "$out/manifest.unsigned.json" >"$out/manifest.json"
rm "$out/manifest.unsigned.json"
echo "$out/$name"
echo "$out/$name.sha256"
echo "$out/manifest.json"
