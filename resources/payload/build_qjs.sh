#!/bin/sh
# Build step: makes the carried qjs from QuickJS's Debian source package, in a copy of the
# source inside the build tree, with Debian's hardening flags; the program is stripped (its
# debugging information would make it four times larger).
#   build_qjs.sh SOURCE WORK OUTPUT
set -eu
source=$1 work=$2 output=$3
rm -rf "$work"
mkdir -p "$(dirname "$output")"
mkdir -p "$work"
cp -R "$source/." "$work/"
cd "$work"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS LDFLAGS
make qjs >build.log 2>&1 || { cat build.log >&2; exit 1; }
strip -o "$output.part" qjs
mv "$output.part" "$output"
