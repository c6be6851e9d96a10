"""Lays out a yt-dlp release as the release address serves it: yt-dlp (a zipapp of the installed
yt-dlp with another version), SHA2-256SUMS, SHA2-256SUMS.sig and release-key.asc (the public half
of a test key, made in --home when missing, so releases made with one home share it).

  make_downloader_release.py --out DIR --version V [--home GNUPGHOME]"""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import zipfile

import yt_dlp

MAIN = b"import sys\nimport yt_dlp\n\nif __name__ == '__main__':\n    sys.exit(yt_dlp.main())\n"
USER = "Vandrel test release key <test@vandrel.invalid>"
VERSION_PY = ("__version__ = %r\nRELEASE_GIT_HEAD = ''\nVARIANT = None\nUPDATE_HINT = None\n"
              "CHANNEL = 'stable'\nORIGIN = 'yt-dlp/yt-dlp'\n_pkg_version = %r\n")


def zipapp(path, version):
    package = os.path.dirname(yt_dlp.__file__)
    with open(path, "wb") as out:
        out.write(b"#!/usr/bin/env python3\n")
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
            archive.writestr("__main__.py", MAIN)
            for root, dirs, files in os.walk(package):
                dirs[:] = sorted(d for d in dirs if d != "__pycache__")
                for name in sorted(files):
                    if not name.endswith(".py"):
                        continue
                    full = os.path.join(root, name)
                    arcname = "yt_dlp/" + os.path.relpath(full, package)
                    if arcname == "yt_dlp/version.py":
                        archive.writestr(arcname, VERSION_PY % (version, version))
                    else:
                        archive.write(full, arcname)


def gpg(home, *args):
    subprocess.run(["gpg", "--homedir", home, "--batch", "--quiet", "--yes", *args], check=True,
                   stdin=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--home")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    binary = os.path.join(args.out, "yt-dlp")
    zipapp(binary, args.version)
    with open(binary, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    sums = os.path.join(args.out, "SHA2-256SUMS")
    with open(sums, "w") as f:
        # Other files of a real release come first; only the zipapp's line counts.
        f.write("%s  yt-dlp.exe\n%s  yt-dlp\n" % ("0" * 64, digest))

    home = args.home or tempfile.mkdtemp(prefix="gnupg-")
    os.makedirs(home, mode=0o700, exist_ok=True)
    try:
        listed = subprocess.run(["gpg", "--homedir", home, "--batch", "--list-secret-keys"],
                                capture_output=True, check=False)
        if USER.encode() not in listed.stdout:
            gpg(home, "--passphrase", "", "--quick-gen-key", USER, "ed25519", "sign", "never")
        gpg(home, "--output", sums + ".sig", "--detach-sign", sums)
        gpg(home, "--armor", "--output", os.path.join(args.out, "release-key.asc"), "--export",
            USER)
    finally:
        # The agent that signing started ends with the test, not minutes later.
        subprocess.run(["gpgconf", "--homedir", home, "--kill", "gpg-agent"], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return 0


if __name__ == "__main__":
    sys.exit(main())
