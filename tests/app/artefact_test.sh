#!/usr/bin/env bash
# Packs the release artefact with CPack and checks what a person downloads: its name, one top
# folder of that name holding the whole install folder, programs without an RPATH, and a program
# that starts with nothing but PATH and HOME set.
#   artefact_test.sh <build folder> <expected name> <version>
set -euo pipefail
build=$1 name=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "not ok - $*"; exit 1; }

cpack -G TGZ --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
archive=$work/out/$name.tar.gz
[[ -f $archive ]] || fail "no $name.tar.gz in: $(ls "$work/out")"
tops=$(tar -tzf "$archive" | cut -d/ -f1 | sort -u)
[[ $tops == "$name" ]] || fail "the archive's top folders are: $tops"

mkdir "$work/x"
tar -xzf "$archive" -C "$work/x"
root=$work/x/$name
for path in bin/quindle bin/quindle-swap Resources/Scripts/quindle.sh \
  Resources/Legal/TERMS-OF-SERVICE.md Resources/Legal/PRIVACY-POLICY.md Resources/Legal/DISCLAIMER.md \
  Resources/quindle.desktop Resources/Icons/quindle-256.png; do
  [[ -e $root/$path ]] || fail "the archive has no $path"
done
[[ -x $root/bin/quindle && -x $root/bin/quindle-swap ]] || fail "the programs are not executable"
for program in quindle quindle-swap; do
  if readelf -d "$root/bin/$program" | grep -Eq 'R(UN)?PATH'; then fail "bin/$program carries an RPATH"; fi
done
mkdir "$work/home"
said=$(env -i PATH=/usr/bin:/bin HOME="$work/home" "$root/bin/quindle" --version) ||
  fail "bin/quindle --version failed"
[[ $said == "Quindle $version" ]] || fail "bin/quindle --version said: $said"
echo "ok - $name.tar.gz holds one folder with the whole install, and its program starts"
