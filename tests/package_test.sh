#!/bin/sh
# Installs the build into a scratch prefix and builds the .deb, unpacks it into
# a scratch root, and checks that both put the programs and man pages where
# they belong and that the installed meshmend repairs the sample.
#   package_test.sh <build dir> <sample model>
set -eu
build=$1
sample=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "package_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for f in bin/meshmend bin/sphereset bin/meshcheck share/man/man1/meshmend.1 share/man/man1/sphereset.1 \
         share/man/man1/meshcheck.1; do
  [ -e "$scratch/prefix/$f" ] || fail "cmake --install did not install $f"
done
if command -v man >/dev/null; then
  MANPATH="$scratch/prefix/share/man" man -w meshmend | grep -q "$scratch" || fail "man does not find meshmend(1)"
fi
if command -v groff >/dev/null; then
  for page in meshmend sphereset meshcheck; do
    warnings=$(groff -ww -z -man "$scratch/prefix/share/man/man1/$page.1" 2>&1)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
  done
fi

(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack failed"
deb=$(ls "$build"/meshmend_*.deb | head -n 1)
dpkg-deb -f "$deb" Package Version Architecture Depends | grep -q "^Package: meshmend" || fail "bad package metadata"
dpkg-deb -x "$deb" "$scratch/root"
[ -e "$scratch/root/usr/share/man/man1/meshmend.1" ] || [ -e "$scratch/root/usr/share/man/man1/meshmend.1.gz" ] \
  || fail "the package has no man page"

cp "$sample" "$scratch/installed.md3"
cp "$sample" "$scratch/built.md3"
"$scratch/root/usr/bin/meshmend" "$scratch/installed.md3" >"$scratch/installed.out" 2>&1 || fail "installed meshmend failed"
"$build/meshmend/meshmend" "$scratch/built.md3" >"$scratch/built.out" 2>&1
cmp -s "$scratch/installed.md3" "$scratch/built.md3" || fail "installed meshmend wrote other bytes"
cmp -s "$scratch/installed.out" "$scratch/built.out" || fail "installed meshmend printed other lines"
cmp -s "$scratch/installed.md3" "$sample" && fail "the sample was not repaired"
"$scratch/root/usr/bin/meshcheck" "$scratch/installed.md3" | grep -q ": clean$" || fail "installed meshcheck does not find the repair clean"
echo "package_test: install, man pages and .deb are fine"
