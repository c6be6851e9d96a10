#!/bin/sh
# Makes in OUT what the update tests serve, signed by a TEST key made here in a fresh home and
# thrown away with it (never a release key): update.deb, a tiny Debian package, and its
# update.deb.sig; not-a-package and its not-a-package.sig; test-key.asc, the key's public half.
#   make_test_package.sh OUT
set -eu
out=$1
home=$out/gnupg
mkdir -m 700 "$home"
trap 'gpgconf --homedir "$home" --kill gpg-agent >/dev/null 2>&1 || true; rm -rf "$home"' EXIT
gpg() { command gpg --homedir "$home" --batch --quiet --yes "$@"; }

mkdir -p "$out/package/DEBIAN"
cat > "$out/package/DEBIAN/control" <<CONTROL
Package: vandrel-update-test
Version: 2.0.0.0
Architecture: all
Maintainer: Vandrel tests <test@vandrel.invalid>
Description: the package the update tests serve
CONTROL
dpkg-deb --root-owner-group --build "$out/package" "$out/update.deb" >/dev/null
rm -r "$out/package"
printf 'not a package\n' > "$out/not-a-package"

gpg --passphrase '' --quick-gen-key 'Vandrel TEST key <test@vandrel.invalid>' ed25519 sign never
gpg --output "$out/update.deb.sig" --detach-sign "$out/update.deb"
gpg --output "$out/not-a-package.sig" --detach-sign "$out/not-a-package"
gpg --armor --output "$out/test-key.asc" --export
