#!/bin/sh
# Puts the static zlib of a Debian architecture (s390x, arm64) into a folder
# of its own, for a cross build's toolchain file to find:
#   sh cmake/unpack_target_zlib.sh s390x build-deps/s390x
# The packages are downloaded and unpacked, never installed: a multiarch
# install of them can conflict with the host's own zlib packages.
set -eu
arch=$1
dest=$2
if [ -f "$dest/usr/include/zlib.h" ] && ls "$dest"/usr/lib/*/libz.a >/dev/null 2>&1; then
  exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  dpkg --add-architecture "$arch"
  apt-get update
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download "zlib1g-dev:$arch" "zlib1g:$arch")
mkdir -p "$dest"
for deb in "$work"/*.deb; do
  dpkg-deb -x "$deb" "$dest"
done
ls "$dest"/usr/lib/*/libz.a >/dev/null
