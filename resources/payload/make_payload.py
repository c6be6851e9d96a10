"""Build step: zips the staged tool payload into payload.zip.

Members keep their Unix mode bits, so the tools stay executable once unpacked. A member that is
already compressed (the downloader is a zip itself) is stored, not deflated again: deflating it
gains about 2 % and inflating it was most of the time the program spends unpacking at start.
"""
import argparse
import os
import zipfile


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--output", required=True)
    parser.add_argument("--stored", action="append", default=[], help="a member to store as is")
    parser.add_argument("members", nargs="+", help="files of the current folder, in order")
    args = parser.parse_args()

    temporary = args.output + ".part"
    with zipfile.ZipFile(temporary, "w", compresslevel=6) as archive:
        for name in args.members:
            info = zipfile.ZipInfo.from_file(name, name)
            info.compress_type = (zipfile.ZIP_STORED if name in args.stored
                                  else zipfile.ZIP_DEFLATED)
            with open(name, "rb") as f:
                archive.writestr(info, f.read())
    os.replace(temporary, args.output)


if __name__ == "__main__":
    main()
