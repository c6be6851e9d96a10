"""The downloader: runs the newest of the yt-dlp carried in this file, the copy the program keeps
current in the user's data folder ($XDG_DATA_HOME/Vandrel/downloader/yt-dlp) and a yt-dlp found
on PATH (sites change, and a stale copy is the most common reason downloads stop working).

Its output keeps yt-dlp's progress lines ("[download] ... ETA ...") and "ERROR: " lines, ends
every line with "\\r\\n", and names each file it leaves behind with "[download] Destination: "
and the file's path relative to the current directory, byte for byte: the final file after
merging and post-processing, never an intermediate part that was deleted afterwards. A final
file that was there already is named with "[download] <name> has already been downloaded"
instead. yt-dlp hands the path over escaped (JSON), so no byte of it, nor a line end in the
current directory's path, is lost or splits the line. The subtitle files written for a final file
that are still there (not embedded and deleted) are named the same way just before it, each with
"[download] Subtitles: ".

YouTube's pages need a JavaScript runtime to solve their challenges. yt-dlp is given every
usable one, in its own order of preference (deno, node, quickjs, bun): deno, node and bun as
found on PATH, quickjs the QuickJS carried beside this file (qjs); only versions yt-dlp
supports, and only to a yt-dlp that knows the option. The first downloader run from this folder (the program's workspace, new at every
start) names the runtime yt-dlp will use in a line of its own: "JavaScript runtime: NAME VERSION"
or "JavaScript runtime: none".

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
# What yt-dlp prints for the subtitle files of every finished file: their paths as a JSON list.
SUBTITLES_MARK = b"\x1evandrel-subtitles-" + secrets.token_hex(16).encode() + b"\x1e"
NO_PLUGINS = "--no-plugin-dirs"
EXTRA_OPTIONS = [
    "--ignore-config",
    "--quiet",  # intermediate "Destination: " lines go; the final names are printed below
    "--progress",
    "--newline",
    "--no-simulate",
    # Before the final file's own line, so that its subtitles are known when it is taken.
    "--print",
    "after_move:" + SUBTITLES_MARK.decode() + "%(requested_subtitles.:.filepath)j",
    "--print",
    "after_move:" + FINAL_MARK.decode() + "%(__real_download)s" + FIELD_SEPARATOR.decode()
    + "%(filepath)j",
]
VERSION_PATTERN = re.compile(r"(\d+)\.(\d+)\.(\d+)(?:\.(\d+))?")
JS_RUNTIME_LINE = b"JavaScript runtime: "
# The report lines the program reads names and the runtime from; only the wrapper may write them.
REPORT_LINE = re.compile(rb"^[ \t\n\r\v\f]*(\[download\] "
                         rb"(Destination: |Subtitles: |.*has already been downloaded)|"
                         + re.escape(JS_RUNTIME_LINE) + rb")")
# The runtimes yt-dlp can solve challenges with, in its order of preference (the first that
# works is the one it uses): the name it knows, how the version is asked for and reads, and the
# oldest version it supports (yt_dlp/utils/_jsruntime.py). quickjs is the carried qjs.
JS_RUNTIMES = (
    ("deno", "--version", r"^deno (\S+)", (2, 3, 0)),
    ("node", "--version", r"^v(\S+)", (22, 0, 0)),
    ("quickjs", "--help", r"^QuickJS version (\S+)", (2023, 12, 9)),
    ("bun", "--version", r"^(\S+)", (1, 2, 11)),
)
# The first yt-dlp that takes --js-runtimes.
JS_RUNTIMES_SINCE = (2025, 11, 12)


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
        if line.startswith(SUBTITLES_MARK):
            try:
                paths = json.loads(line[len(SUBTITLES_MARK):])
            except ValueError:
                return
            for path in paths if isinstance(paths, list) else ():
                name = report_name(path)
                if name and b"\r" not in name and b"\n" not in name and os.path.isfile(path):
                    write_line(self.fd, b"[download] Subtitles: " + name)
            return
        if line.startswith(FINAL_MARK):
            flag, _, escaped = line[len(FINAL_MARK):].partition(FIELD_SEPARATOR)
            try:
                path = json.loads(escaped)
            except ValueError:
                return
            name = report_name(path)
            if not name:
                return
            if b"\r" in name or b"\n" in name:
                line = b"ERROR: a file name holds a line break; the file was not kept"
            elif flag == b"False":
                line = b"[download] " + name + b" has already been downloaded"
            else:
                line = b"[download] Destination: " + name
        elif REPORT_LINE.match(line):
            return
        write_line(self.fd, line)


def report_name(path):
    """A path yt-dlp printed, as bytes relative to the current directory; None when it is no
    path."""
    if not isinstance(path, str) or not path:
        return None
    if os.path.isabs(path):
        path = os.path.relpath(path)
    return os.fsencode(path)


def write_line(fd, line):
    data = line + b"\r\n"
    while data:
        try:
            written = os.write(fd, data)
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
    needs, its version and whether it knows the option that keeps plugins away; None when the
    bundled one is the newest."""
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
    return best[1], best[2], best[0], best[3]


def runtime_version(path, ask, pattern, any_exit):
    """The version a runtime answers with, or None; OSError when it cannot be started."""
    try:
        answer = subprocess.run([path, ask], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=10, check=False)
    except subprocess.SubprocessError:
        return None
    if answer.returncode and not any_exit:
        return None
    match = re.search(pattern, answer.stdout.decode(errors="replace"))
    return match.group(1) if match else None


def lenient_version(text):
    # yt-dlp's own reading: every part that is not a number counts as -1.
    return tuple(int(part) if part.isdigit() else -1 for part in re.split(r"[-.]", text))


def in_memory(path):
    """A path that runs a copy of the file held in memory while this process lives, or None. A
    workspace on a file system mounted noexec cannot run the carried qjs in place."""
    try:
        fd = os.memfd_create("qjs")
        with open(path, "rb") as source:
            data = source.read()
        while data:
            data = data[os.write(fd, data):]
        # A file open for writing cannot be executed: keep a read-only descriptor only.
        readonly = os.open("/proc/self/fd/%d" % fd, os.O_RDONLY)
        os.close(fd)
    except (OSError, AttributeError):
        return None
    return "/proc/%d/fd/%d" % (os.getpid(), readonly)


def js_runtime(name, ask, pattern, oldest):
    """(name, path, version) of a runtime yt-dlp supports, or None."""
    if name == "quickjs":
        path = os.path.join(os.path.dirname(os.path.abspath(sys.argv[0])), "qjs")
        if not os.path.isfile(path):
            return None
    else:
        path = shutil.which(name)
        if not path:
            return None
    quickjs = name == "quickjs"  # its --help ends with 1
    try:
        try:
            version = runtime_version(path, ask, pattern, quickjs)
        except PermissionError:
            path = in_memory(path) if quickjs else None
            version = path and runtime_version(path, ask, pattern, quickjs)
    except OSError:
        return None
    if not version or lenient_version(version) < oldest:
        return None
    return name, path, version


def js_runtime_options(version):
    """yt-dlp's options that enable the usable runtimes, for a yt-dlp of that version, and the
    line that names the one it will use (None when it takes no runtime)."""
    if not version or version < JS_RUNTIMES_SINCE:
        return [], None
    runtimes = [found for found in (js_runtime(*entry) for entry in JS_RUNTIMES) if found]
    if not runtimes:
        return [], JS_RUNTIME_LINE + b"none"
    options = ["--no-js-runtimes"]
    for name, path, _ in runtimes:
        options += ["--js-runtimes", name + ":" + path]
    # Debian's yt-dlp carries the solver's core script but not the library it runs on
    # (yt.solver.lib.js, not packaged): yt-dlp fetches it from its own release when a site's
    # challenge first needs it, checks it against the hash in its source and caches it.
    options += ["--remote-components", "ejs:github"]
    name, _, version = runtimes[0]
    return options, JS_RUNTIME_LINE + ("%s %s" % (name, version)).encode()


def first_in_this_run():
    """True for the first downloader run from this folder: the program's workspace, new at every
    start, so the runtime is named once a run."""
    here = os.path.dirname(os.path.abspath(sys.argv[0]))
    try:
        os.close(os.open(os.path.join(here, ".js-runtime-named"),
                         os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600))
    except OSError:
        return False
    return True


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
        bundled = bundled_version()
        other, pass_fds, other_version, other_knows_no_plugins = newest_other(bundled)
        runtimes, named = js_runtime_options(other_version if other else bundled)
        if named and first_in_this_run():
            write_line(1, named)
        if other:
            own = EXTRA_OPTIONS + ([NO_PLUGINS] if other_knows_no_plugins else []) + runtimes
            return run_other(other, pass_fds, own + sys.argv[1:], out_filter)
        own = EXTRA_OPTIONS + ([NO_PLUGINS] if bundled_knows_no_plugins() else []) + runtimes
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
