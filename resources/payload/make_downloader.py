"""Build step: makes the downloader, one executable file holding a yt-dlp package (the one
scripts/fetch-carried unpacked from Debian's) and the launcher module, so that only python3 is
needed where it runs.

The file is a small shell prefix followed by a zip archive (Python runs a zip with leading bytes
as a zipapp). Every module is stored as source and as bytecode beside it: bytecode that matches
the interpreter found at run time makes start-up about three times faster, and an interpreter of
another version falls back to the sources. The package's other files (the challenge solver's
scripts) are stored as they are: yt-dlp reads them as resources of its package.
"""
import argparse
import importlib.util
import io
import marshal
import os
import stat
import sys
import zipfile

# Prefers the system interpreter, which the bytecode was compiled for; any python3 on PATH will
# do otherwise. The lines end with "\r\n" like the downloader's own output.
LAUNCHER = b"""#!/bin/sh
for python in /usr/bin/python3 python3; do
  if command -v "$python" >/dev/null 2>&1; then exec "$python" "$0" "$@"; fi
done
printf 'ERROR: the downloader needs python3, which is not installed\\r\\n'
exit 127
"""

# Zip times start in 1980; a fixed time keeps the build reproducible.
FIXED_TIME = (2020, 1, 1, 0, 0, 0)


def bytecode(source, name):
    """Unchecked hash-based bytecode: valid whatever the times stored in the zip."""
    code = compile(source, name, "exec", dont_inherit=True, optimize=0)
    flags = 0b01  # hash-based, not checked against the source
    return (importlib.util.MAGIC_NUMBER + flags.to_bytes(4, "little")
            + importlib.util.source_hash(source) + marshal.dumps(code))


def add(archive, arcname, data):
    info = zipfile.ZipInfo(arcname, FIXED_TIME)
    info.external_attr = (stat.S_IFREG | 0o644) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data)


def add_module(archive, arcname, source):
    add(archive, arcname, source)
    add(archive, arcname + "c", bytecode(source, arcname))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--package", required=True, help="folder of the yt_dlp package")
    parser.add_argument("--main", required=True, help="the launcher module")
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    package = os.path.abspath(args.package)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compresslevel=6) as archive:
        with open(args.main, "rb") as f:
            add_module(archive, "__main__.py", f.read())
        for root, dirs, files in os.walk(package):
            dirs[:] = sorted(d for d in dirs if d not in ("__pycache__", "__pyinstaller"))
            for name in sorted(files):
                if name.endswith((".pyc", ".pyo")):
                    continue
                path = os.path.join(root, name)
                arcname = "yt_dlp/" + os.path.relpath(path, package).replace(os.sep, "/")
                with open(path, "rb") as f:
                    data = f.read()
                if name.endswith(".py"):
                    add_module(archive, arcname, data)
                else:
                    add(archive, arcname, data)

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    temporary = args.output + ".part"
    with open(temporary, "wb") as f:
        f.write(LAUNCHER)
        f.write(buffer.getvalue())
    os.chmod(temporary, 0o755)
    os.replace(temporary, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
