"""Lays out a yt-dlp release in OUT as the release address serves it: yt-dlp (a zipapp of the
yt-dlp package in PACKAGE, the carried one, that says it is VERSION), SHA2-256SUMS,
SHA2-256SUMS.sig and release-key.asc, the public half of the test key kept in HOME (made there
when missing).

  make_downloader_release.py OUT VERSION HOME PACKAGE"""
import hashlib
import os
import subprocess
import sys
import zipfile

MAIN = b"import sys\nimport yt_dlp\n\nif __name__ == '__main__':\n    sys.exit(yt_dlp.main())\n"
USER = "Vandrel test release key <test@vandrel.invalid>"
VERSION_PY = ("__version__ = %r\nRELEASE_GIT_HEAD = ''\nVARIANT = None\nUPDATE_HINT = None\n"
              "CHANNEL = 'stable'\nORIGIN = 'yt-dlp/yt-dlp'\n_pkg_version = %r\n")


def zipapp(path, version, package):
    with open(path, "wb") as out:
        out.write(b"#!/usr/bin/env python3\n")
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
            archive.writestr("__main__.py", MAIN)
            for root, dirs, files in os.walk(package):
                dirs[:] = sorted(d for d in dirs if d != "__pycache__")
                for name in sorted(n for n in files if not n.endswith(".pyc")):
                    full = os.path.join(root, name)
                    arcname = "yt_dlp/" + os.path.relpath(full, package)
                    if arcname == "yt_dlp/version.py":
                        archive.writestr(arcname, VERSION_PY % (version, version))
                    else:
                        archive.write(full, arcname)


def gpg(home, *args, check=True):
    return subprocess.run(["gpg", "--homedir", home, "--batch", "--quiet", "--yes", *args],
                          check=check, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)


def main(out, version, home, package):
    os.makedirs(home, mode=0o700, exist_ok=True)
    binary, sums = os.path.join(out, "yt-dlp"), os.path.join(out, "SHA2-256SUMS")
    zipapp(binary, version, package)
    with open(binary, "rb") as f, open(sums, "w") as s:
        # Other files of a real release come first; only the zipapp's line counts.
        s.write("%s  yt-dlp.exe\n%s  yt-dlp\n" % ("0" * 64, hashlib.sha256(f.read()).hexdigest()))
    try:
        if USER.encode() not in gpg(home, "--list-secret-keys", check=False).stdout:
            gpg(home, "--passphrase", "", "--quick-gen-key", USER, "ed25519", "sign", "never")
        gpg(home, "--output", sums + ".sig", "--detach-sign", sums)
        gpg(home, "--armor", "--output", os.path.join(out, "release-key.asc"), "--export", USER)
    finally:
        # The agent that signing started ends with the test, not minutes later.
        subprocess.run(["gpgconf", "--homedir", home, "--kill", "gpg-agent"], check=False,
                       capture_output=True)


if __name__ == "__main__":
    main(*sys.argv[1:5])
