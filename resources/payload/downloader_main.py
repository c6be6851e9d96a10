"""The downloader: runs the newest of the yt-dlp carried in this file, the copy the program keeps
current in the user's data folder ($XDG_DATA_HOME/Vandrel/downloader/yt-dlp) and a yt-dlp found
on PATH (sites change, and a stale copy is the most common reason downloads stop working).

Its output keeps yt-dlp's progress lines ("[download] ... ETA ...") and "ERROR: " lines, ends
every line with "\\r\\n", and names each file it leaves behind with "[download] Destination: "
and the file's path relative to the current directory, byte for byte: the final file after
merging and post-processing, never an intermediate part that was deleted afterwards. A final
file that was there already is named with "[download] <name> has already been downloaded"
instead. yt-dlp hands the path over escaped (JSON), so no byte of it, nor a line end in the
current directory's path, is lost or splits the line.

It ends with the program that started it, however that ends: when the program is gone, its
whole process group (the yt-dlp it runs, ffmpeg) is killed.

Its own options come before the caller's arguments, which may end with "--" and addresses.
No user configuration or plugin is loaded: a configured "-o", "-P" or "--exec" would put files
elsewhere. Nothing a web page controls becomes a line of its own: a carriage return inside a
line becomes a blank, and name lines that the wrapper did not print itself are dropped.
"""
import json
import os
import re
import secrets
import shutil
import signal
import stat
import subprocess
import sys

# What yt-dlp prints for every finished file; the output filter turns it into the report line.
# The mark is new in every run, so that no text from a web page can pass for it.
FINAL_MARK = b"\x1evandrel-final-" + secrets.token_hex(16).encode() + b"\x1e"
# Between the "was it downloaded now" flag and the path in a marked line.
FIELD_SEPARATOR = b"\x1f"
NO_PLUGINS = "--no-plugin-dirs"
EXTRA_OPTIONS = [
    "--ignore-config",
    "--quiet",  # intermediate "Destination: " lines go; the final names are printed below
    "--progress",
    "--newline",
    "--no-simulate",
    "--print",
    "after_move:" + FINAL_MARK.decode() + "%(__real_download)s" + FIELD_SEPARATOR.decode()
    + "%(filepath)j",
]
VERSION_PATTERN = re.compile(r"(\d+)\.(\d+)\.(\d+)(?:\.(\d+))?")
# The report lines the program reads names from; only the wrapper may write them.
NAME_LINE = re.compile(rb"^[ \t\n\r\v\f]*\[download\] (Destination: |.*has already been downloaded)")


class LineFilter:
    """Cuts the bytes written to one descriptor into lines and writes each one ended by
    "\\r\\n", turning the final-file marks into report lines."""

    def __init__(self, fd):
        self.fd = fd
        self.pending = b""

    def write(self, data):
        self.pending += data
        while True:
            end = self.pending.find(b"\n")
            if end < 0:
                break
            line, self.pending = self.pending[:end], self.pending[end + 1:]
            self.emit(line)

    def flush_pending(self):
        if self.pending:
            line, self.pending = self.pending, b""
            self.emit(line)

    def emit(self, line):
        line = line.rstrip(b"\r").replace(b"\r", b" ")
        if line.startswith(FINAL_MARK):
            flag, _, escaped = line[len(FINAL_MARK):].partition(FIELD_SEPARATOR)
            try:
                path = json.loads(escaped)
            except ValueError:
                return
            if not isinstance(path, str) or not path:
                return
            if os.path.isabs(path):
                path = os.path.relpath(path)
            name = os.fsencode(path)
            if b"\r" in name or b"\n" in name:
                line = b"ERROR: a file name holds a line break; the file was not kept"
            elif flag == b"False":
                line = b"[download] " + name + b" has already been downloaded"
            else:
                line = b"[download] Destination: " + name
        elif NAME_LINE.match(line):
            return
        data = line + b"\r\n"
        while data:
            try:
                written = os.write(self.fd, data)
            except InterruptedError:
                continue
            except OSError:
                return  # nobody reads any more
            data = data[written:]


def filtered_stream(fd, like):
    import io

    class Raw(io.RawIOBase):
        def __init__(self):
            super().__init__()
            self.filter = LineFilter(fd)

        def writable(self):
            return True

        def write(self, data):
            self.filter.write(bytes(data))
            return len(data)

        def fileno(self):
            return fd

        def isatty(self):
            return False

    raw = Raw()
    encoding = getattr(like, "encoding", None) or "utf-8"
    # surrogateescape: a byte of a file name that is not in the encoding goes out as it was.
    stream = io.TextIOWrapper(io.BufferedWriter(raw), encoding=encoding, errors="surrogateescape",
                              line_buffering=True, write_through=True)
    return stream, raw.filter


def version_tuple(text):
    match = VERSION_PATTERN.search(text or "")
    if not match:
        return None
    return tuple(int(part or 0) for part in match.groups())


def bundled_file(name):
    # Read from the archive, not imported: importing yt_dlp would load all of it.
    try:
        return __loader__.get_data(os.path.join(__loader__.archive, "yt_dlp", name))
    except Exception:
        return b""


def bundled_version():
    match = re.search(rb"__version__\s*=\s*['\"]([^'\"]+)", bundled_file("version.py"))
    return version_tuple(match.group(1).decode()) if match else None


def bundled_knows_no_plugins():
    return b"'" + NO_PLUGINS.encode() + b"'" in bundled_file("options.py")


def ask_version(command, options, pass_fds=()):
    try:
        answer = subprocess.run(command + options + ["--version"], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                timeout=30, check=False, pass_fds=pass_fds)
    except (OSError, subprocess.SubprocessError):
        return None
    if answer.returncode != 0:
        return None
    return version_tuple(answer.stdout.decode(errors="replace"))


def judge(command, pass_fds=()):
    """The version of another yt-dlp, and whether it knows the option that keeps plugins away
    (asked together with the version: one start when it does)."""
    version = ask_version(command, ["--ignore-config", NO_PLUGINS], pass_fds)
    if version is not None:
        return version, True
    return ask_version(command, ["--ignore-config"], pass_fds), False


def on_path():
    found = shutil.which("yt-dlp")
    if not found:
        return None
    try:
        if os.path.samefile(found, sys.argv[0]):
            return None
    except OSError:
        return None
    return found


def kept_copy():
    """An open descriptor of the kept copy, or None. The copy runs as /dev/fd/N: the program may
    rename a newer one over it at any moment, and Python reads a zipapp by its path again and
    again while it runs, so the path must keep naming the file that was judged."""
    data = os.environ.get("XDG_DATA_HOME", "")
    if not os.path.isabs(data):
        data = os.path.join(os.path.expanduser("~"), ".local", "share")
    try:
        fd = os.open(os.path.join(data, "Vandrel", "downloader", "yt-dlp"), os.O_RDONLY)
    except OSError:
        return None
    if not stat.S_ISREG(os.fstat(fd).st_mode):
        os.close(fd)
        return None
    return fd


def newest_other(bundled):
    """The command of the newest yt-dlp that is newer than the bundled one, the descriptors it
    needs, and whether it knows the option that keeps plugins away; None when the bundled one
    is the newest."""
    best = (bundled or (0,), None, (), False)
    fd = kept_copy()
    if fd is not None:
        command = [sys.executable or "python3", "/dev/fd/%d" % fd]
        version, knows = judge(command, (fd,))
        if version and version > best[0]:
            best = (version, command, (fd,), knows)
    found = on_path()
    if found:
        version, knows = judge([found])
        if version and version > best[0]:
            best = (version, [found], (), knows)
    return best[1], best[2], best[3]


PR_SET_PDEATHSIG = 1


def set_death_signal(signum):
    """Asks the kernel for signum when the parent ends; False where that cannot be had."""
    try:
        import ctypes
        return ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signum) == 0
    except Exception:
        return False


def end_with_parent():
    """The program starts this file as the leader of a process group of its own. When the
    program ends, even by SIGKILL, the group goes too: SIGTERM (sent when the parent ends, or
    by the program's stop) kills the whole group, the yt-dlp it runs and ffmpeg included."""
    if os.getpgrp() != os.getpid():
        return  # started by hand from a shell: the group is the shell's
    parent = os.getppid()

    def end_group(signum, frame):
        os.killpg(os.getpgrp(), signal.SIGKILL)

    signal.signal(signal.SIGTERM, end_group)
    if set_death_signal(signal.SIGTERM) and os.getppid() != parent:
        end_group(signal.SIGTERM, None)  # the parent ended before the request took


def die_with_parent():
    # A child that outlives the downloader would go on writing into the download folder.
    set_death_signal(signal.SIGKILL)


def run_other(command, pass_fds, args, out):
    child = subprocess.Popen(command + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             preexec_fn=die_with_parent, pass_fds=pass_fds)
    while True:
        chunk = os.read(child.stdout.fileno(), 65536)
        if not chunk:
            break
        out.write(chunk)
    return child.wait()


def main():
    end_with_parent()
    sys.stdout.flush()
    sys.stderr.flush()
    out_stream, out_filter = filtered_stream(1, sys.stdout)
    err_stream, err_filter = filtered_stream(2, sys.stderr)
    try:
        other, pass_fds, other_knows_no_plugins = newest_other(bundled_version())
        if other:
            own = EXTRA_OPTIONS + ([NO_PLUGINS] if other_knows_no_plugins else [])
            return run_other(other, pass_fds, own + sys.argv[1:], out_filter)
        own = EXTRA_OPTIONS + ([NO_PLUGINS] if bundled_knows_no_plugins() else [])
        args = own + sys.argv[1:]
        sys.stdout, sys.stderr = out_stream, err_stream
        import yt_dlp
        try:
            yt_dlp.main(args)
        except SystemExit as end:
            return end.code if isinstance(end.code, int) else (0 if end.code is None else 1)
        return 0
    finally:
        for stream, line_filter in ((out_stream, out_filter), (err_stream, err_filter)):
            try:
                stream.flush()
            except Exception:
                pass
            line_filter.flush_pending()
        sys.stdout, sys.stderr = sys.__stdout__, sys.__stderr__


if __name__ == "__main__":
    sys.exit(main())
