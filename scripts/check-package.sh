#!/usr/bin/env bash
# Checks the Debian package that `make package` built: its name, its Depends (from the programs'
# shared-library needs), the files it installs, and the programs run from the package unpacked into
# a temporary folder: `ombrel --help`, and a short estimation of a copy of the example study.
#   scripts/check-package.sh [BUILD-FOLDER]     (default: build)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
fail() { echo "check-package.sh: $*" >&2; exit 1; }

shopt -s nullglob
debs=("$build"/ombrel_*_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one ombrel_<version>_<arch>.deb in $build, found ${#debs[@]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") =~ ^ombrel_[0-9.]+_${arch}\.deb$ ]] || fail "unexpected package name $(basename "$deb")"

[ "$(dpkg-deb --field "$deb" Package)" = ombrel ] || fail "the package is not called ombrel"
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libqt6charts6; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library: $depends"
done

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in ./usr/bin/lumaro ./usr/bin/kivotra ./usr/bin/ombrel \
            ./usr/share/applications/ombrel-lumaro.desktop \
            ./usr/share/icons/hicolor/256x256/apps/ombrel-lumaro.png \
            ./usr/share/man/man1/ombrel.1 ./usr/share/man/man1/kivotra.1 ./usr/share/man/man1/lumaro.1 \
            ./usr/share/bash-completion/completions/ombrel \
            ./usr/share/doc/ombrel/ombrel.pdf ./usr/share/doc/ombrel/README.md \
            ./usr/share/doc/ombrel/examples/coffee/coffee.cho ./usr/share/doc/ombrel/examples/coffee/coffee.att; do
  grep -qx -- "$path" <<<"$contents" || fail "the package does not install $path"
done

work=$(mktemp -d -t ombrel-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/ombrel" --help | grep -q "^Usage: ombrel" || fail "ombrel --help from the package failed"
cp -r "$work/root/usr/share/doc/ombrel/examples/coffee" "$work/coffee"
"$work/root/usr/bin/ombrel" estimate "$work/coffee/coffee.cho" --seed 1 --iterations 50 --draws 10 \
    > "$work/estimate.txt" 2>&1 || { cat "$work/estimate.txt" >&2; fail "the estimation from the package failed"; }
[ -s "$work/coffee/coffee.hbu" ] || fail "the estimation from the package wrote no part-worth file"
echo "The package $(basename "$deb") installs what it should (Depends: $depends); its programs run."
