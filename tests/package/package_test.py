#!/usr/bin/env python3
"""The Debian package as a user gets it: built by CPack, unpacked with dpkg-deb -x into a folder
of the build (the machine is not changed), its files checked, and the unpacked program run.

usage: package_test.py build|contents|validate|run|install BUILD_DIR
  (install: `cmake --install` into another prefix, whose program finds PREFIX/etc/xdg itself)
"""
import gzip
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

VERSION = "1.0.0.1"
APP_ID = "org.vandrel.Vandrel"
PAYLOAD_MARKER = b"\x0d\xf0\xad\xde"
PLUGIN = "usr/lib/vandrel/plugins/vandrel_web.so"

failures = []


def check(ok, what):
    print(("ok      " if ok else "FAILED  ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def read(path, mode="r"):
    """A file's content; empty when there is no such file."""
    if not os.path.isfile(path):
        return "" if mode == "r" else b""
    with open(path, mode) as f:
        return f.read()


class Paths:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.work = os.path.join(self.build, "package-test")
        self.root = os.path.join(self.work, "root")
        self.env = os.path.join(self.build, "test-env")

    def deb(self):
        arch = run(["dpkg", "--print-architecture"]).stdout.strip()
        return os.path.join(self.work, f"vandrel_{VERSION}_{arch}.deb")


def step_build(p):
    shutil.rmtree(p.work, ignore_errors=True)
    os.makedirs(p.work)
    made = run(["cpack", "-G", "DEB", "-B", p.work, "--config",
                os.path.join(p.build, "CPackConfig.cmake")], cwd=p.build)
    print(made.stdout, made.stderr)
    if not check(made.returncode == 0 and os.path.isfile(p.deb()), "cpack made " + p.deb()):
        return
    x = run(["dpkg-deb", "-x", p.deb(), p.root])
    check(x.returncode == 0, "dpkg-deb -x unpacked it: " + x.stderr.strip())


# Every file of the package: its mode, and what else must hold for it.
FILES = [
    ("usr/bin/vandrel", 0o755, "program"),
    (PLUGIN, 0o644, None),
    (f"usr/share/applications/{APP_ID}.desktop", 0o644, None),
    *[(f"usr/share/icons/hicolor/{n}x{n}/apps/vandrel.png", 0o644, (n, n)) for n in (48, 128, 256)],
    ("usr/share/icons/hicolor/scalable/apps/vandrel.svg", 0o644, None),
    (f"usr/share/metainfo/{APP_ID}.metainfo.xml", 0o644, None),
    ("usr/share/man/man1/vandrel.1.gz", 0o644, "gzip"),
    ("usr/share/doc/vandrel/copyright", 0o644, None),
    ("usr/share/doc/vandrel/changelog.gz", 0o644, "gzip"),
    ("usr/share/lintian/overrides/vandrel", 0o644, None),
    ("etc/xdg/Vandrel/Vandrel.conf", 0o644, "defaults"),
]


def step_contents(p):
    packaged = {}
    for line in run(["dpkg-deb", "-c", p.deb()]).stdout.splitlines():
        fields = line.split(None, 5)
        path = fields[5].split(" -> ")[0].lstrip("./").rstrip("/")
        if path:
            packaged[path] = (fields[0], fields[1])
    for path, mode, extra in FILES:
        full = os.path.join(p.root, path)
        if not check(path in packaged and os.path.isfile(full), f"{path} is in the package"):
            continue
        actual = os.stat(full).st_mode & 0o7777
        check(actual == mode, f"{path} has mode {mode:o} (is {actual:o})")
        check(packaged[path][1] == "root/root", f"{path} belongs to root/root")
        if extra == "program":
            data = read(full, "rb")
            check(data == read(os.path.join(p.build, "vandrel"), "rb"),
                  f"{path} is the built program byte for byte (not stripped)")
            check(PAYLOAD_MARKER in data, f"{path} carries the tool payload")
        elif extra == "gzip":
            check(len(gzip.decompress(read(full, "rb"))) > 0, f"{path} is gzip")
        elif extra == "defaults":
            cache = read(os.path.join(p.build, "CMakeCache.txt"))
            affid, text = re.search(r"^VANDREL_AFFID:\w+=(.*)$", cache, re.M).group(1), read(full)
            check(re.search(r"^\[General\]$", text, re.M) is not None and
                  re.search(rf"^AffID={re.escape(affid)}$", text, re.M) is not None,
                  f"{path} gives AffID={affid} under [General]")
        elif isinstance(extra, tuple):
            head = read(full, "rb")[:24]
            check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:]) == extra,
                  f"{path} is a {extra[0]}x{extra[1]} PNG")
    expected = {path for path, _, _ in FILES}
    for path, (mode, owner) in packaged.items():
        if mode.startswith("d"):
            check(mode == "drwxr-xr-x" and owner == "root/root", f"folder {path} is 0755 root/root")
        else:
            check(path in expected, f"{path} is one of the files the package should hold")

    control = run(["dpkg-deb", "-f", p.deb()]).stdout
    fields = dict(re.findall(r"^(\S+): (.*)$", control, re.M))
    depends = [d.strip().split(" ")[0] for d in fields.get("Depends", "").split(",")]
    for name in ["python3", "ffmpeg", "xdg-utils", "gpgv", "libqt6core6", "libqt6webenginecore6",
                 "libminizip1", "libc6", "libcurl4"]:
        check(name in depends, f"Depends names {name}")
    check(fields.get("Package") == "vandrel" and fields.get("Version") == VERSION,
          f"the package is vandrel {VERSION}")
    with tempfile.TemporaryDirectory() as ctrl:
        run(["dpkg-deb", "-e", p.deb(), ctrl])
        check(read(os.path.join(ctrl, "conffiles")).split() == ["/etc/xdg/Vandrel/Vandrel.conf"],
              "the defaults file is the package's one configuration file")
        check(not os.path.exists(os.path.join(ctrl, "postinst")), "no maintainer script")


def step_validate(p):
    desktop = os.path.join(p.root, f"usr/share/applications/{APP_ID}.desktop")
    v = run(["desktop-file-validate", desktop])
    check(v.returncode == 0 and "error:" not in v.stdout, "desktop-file-validate: " + v.stdout)
    entry = dict(re.findall(r"^([A-Za-z]+)=(.*)$", read(desktop), re.M))
    check(entry.get("Exec") == "vandrel %U",
          "the entry starts the installed program, usr/bin/vandrel, with the links it is given")
    check(entry.get("Categories") == "AudioVideo;Video;", "the entry's categories")
    check(entry.get("Icon") == "vandrel", "the entry's icon is the package's hicolor vandrel.png")

    metainfo = os.path.join(p.root, f"usr/share/metainfo/{APP_ID}.metainfo.xml")
    v = run(["appstreamcli", "validate", "--no-net", metainfo])
    check(v.returncode == 0, "appstreamcli validate --no-net: " + v.stdout + v.stderr)
    text = read(metainfo)
    check(f'<release version="{VERSION}"' in text, f"the metainfo lists release {VERSION}")
    check(f"<launchable type=\"desktop-id\">{APP_ID}.desktop</launchable>" in text,
          "the metainfo names the desktop entry")

    manual = os.path.join(p.root, "usr/share/man/man1/vandrel.1.gz")
    v = run(["man", "--warnings", "-l", manual], env=dict(os.environ, MANWIDTH="100"))
    check(v.returncode == 0 and v.stderr == "", "man --warnings is silent: " + v.stderr)
    for words in ["SYNOPSIS", "--download-mp3=", "--player=", "--update", "--help", "--version",
                  "Vandrel.conf", "XDG_CONFIG_DIRS", "VANDREL_UPDATE_SERVER", "EXIT STATUS"]:
        check(words in v.stdout.replace("‐", "-"), f"the manual page tells of {words}")

    v = run(["lintian", "--tag-display-limit", "0", p.deb()])
    print(v.stdout + v.stderr)
    check(v.returncode == 0 and not re.search(r"^[EW]: ", v.stdout, re.M),
          "lintian reports no error or warning")


def wait_until(condition, seconds, proc):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and proc.poll() is None:
        if condition():
            return True
        time.sleep(0.25)
    return False


def terminate(proc, what, tmp):
    """SIGTERM ends the program with 0 and takes its workspace; its output is shown on failure."""
    proc.send_signal(signal.SIGTERM)
    try:
        code = proc.wait(30)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        code = None
    ok = check(code == 0, f"{what}: SIGTERM ends the program with exit code 0 (got {code})")
    ok &= check(os.listdir(tmp) == [], "the workspace is gone: " + " ".join(os.listdir(tmp)))
    if not ok:
        print(proc.stdout.read().decode(errors="replace"))


def page_pixels(pid, display):
    """The RGB bytes of the program's page area (450x338 at 166,303 of its window), or None."""
    env = dict(os.environ, DISPLAY=display)
    found = run(["xdotool", "search", "--onlyvisible", "--pid", str(pid), "--name", "^Vandrel$"],
                env=env)
    for wid in found.stdout.split():
        shot = subprocess.run(["import", "-silent", "-window", wid, "-crop", "450x338+166+303",
                               "-depth", "8", "rgb:-"], env=env, capture_output=True).stdout
        if len(shot) == 450 * 338 * 3:
            return shot
    return None


def share(picture, hit):
    """The share of a picture's pixels for which hit(i) holds, i the offset of the pixel."""
    return sum(1 for i in range(0, len(picture), 3) if hit(i)) / max(1, len(picture) / 3)


def step_run(p):
    program = os.path.join(p.root, "usr/bin/vandrel")
    display = read(os.path.join(p.env, "display")).strip()
    http = "http://127.0.0.1:" + read(os.path.join(p.env, "http_port")).strip()
    media = os.path.join(p.env, "media")
    with tempfile.TemporaryDirectory(prefix="vandrel-package-", ignore_cleanup_errors=True) as t:
        home, tmp, runtime, stubs = (os.path.join(t, n) for n in ["home", "tmp", "run", "bin"])
        for d in [home, tmp, runtime, stubs]:
            os.makedirs(d, mode=0o700)
        opened = os.path.join(t, "opened.txt")
        # The desktop's opener only writes down what it was given, and no program is registered
        # for any type, so Flash video plays in the page.
        for stub, text in [("xdg-open", f"printf '%s\\n' \"$*\" >> '{opened}'"),
                           ("xdg-mime", "exit 0")]:
            with open(os.path.join(stubs, stub), "w") as f:
                f.write(f"#!/bin/sh\n{text}\n")
                os.fchmod(f.fileno(), 0o755)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "QT_", "WAYLAND")) and k not in ("DISPLAY", "HOME")}
        env.update(HOME=home, TMPDIR=tmp, XDG_RUNTIME_DIR=runtime, DISPLAY=display,
                   QT_QPA_PLATFORM="xcb", PATH=stubs + ":" + os.environ.get("PATH", "/usr/bin"),
                   XDG_CONFIG_DIRS=os.path.join(p.root, "etc/xdg"),
                   # The first start of a day asks the update server: nothing answers here.
                   VANDREL_UPDATE_SERVER="http://127.0.0.1:9")
        user_file = os.path.join(home, ".config/Vandrel/Vandrel.conf")
        desktop = os.path.join(home, "Desktop")

        # An MP3 job: the download goes to the desktop folder, the default.
        proc = subprocess.Popen([program, f"--download-mp3={http}/clip.mp4"], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

        def mp3_done():
            mp3s = [n for n in os.listdir(desktop) if n.endswith(".mp3")] \
                if os.path.isdir(desktop) else []
            return bool(mp3s) and os.path.getsize(os.path.join(desktop, mp3s[0])) > 0 \
                and not run(["pgrep", "-P", str(proc.pid)]).stdout

        done = wait_until(lambda: mp3_done() and (time.sleep(1) or mp3_done()), 120, proc)
        check(done, "the MP3 job wrote its .mp3 into the desktop folder and its tools ended")
        if done:
            run(["import", "-display", display, "-window", "root", p.work + "/window-mp3.png"])
        terminate(proc, "after the MP3 job", tmp)
        check(".mp3" in read(opened), "the .mp3 went to the desktop's opener")
        settings = read(user_file)
        check(re.search(rf"^DefaultDownloadFolder=\"?{re.escape(desktop)}\"?$", settings, re.M)
              is not None, "the user's file remembers the folder: " + settings)
        check("AffID" not in settings, "the program wrote no AffID of its own")

        # A Flash video, played in the page through the installed plugin: its colour bars fill the
        # page area, and move.
        flv = os.path.join(t, "clip.flv")
        shutil.copy(os.path.join(media, "clip.flv"), flv)
        proc = subprocess.Popen([program, f"--player={flv}"], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        first = []

        def playing():
            shot = page_pixels(proc.pid, display) or b""
            if share(shot, lambda i: max(shot[i:i + 3]) - min(shot[i:i + 3]) > 100) < .3:
                return False
            first[:] = first or [shot]
            return share(shot, lambda i: any(abs(shot[i + k] - first[0][i + k]) > 8
                                             for k in range(3))) > .05

        check(wait_until(playing, 60, proc), "the page played the .flv: its colour bars showed " +
              ("and moved" if first else "(they never showed)"))
        maps = read(f"/proc/{proc.pid}/maps")
        check(os.path.join(p.root, PLUGIN) in maps, "the plugin came from the unpacked package")
        check(os.path.join(p.build, "vandrel_web.so") not in maps,
              "the installed program did not use the build's plugin")
        terminate(proc, "while playing", tmp)


def step_install(p):
    if os.path.exists("/etc/xdg/Vandrel/Vandrel.conf"):
        print("this machine has /etc/xdg/Vandrel/Vandrel.conf: nothing to tell apart here")
        sys.exit(77)
    with tempfile.TemporaryDirectory(prefix="vandrel-install-", ignore_cleanup_errors=True) as t:
        prefix, home = os.path.join(t, "prefix"), os.path.join(t, "home")
        v = run(["cmake", "--install", p.build, "--prefix", prefix])
        check(v.returncode == 0, "cmake --install: " + v.stderr)
        check(os.path.isfile(os.path.join(prefix, "etc/xdg/Vandrel/Vandrel.conf")),
              "the defaults file is in PREFIX/etc/xdg")
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update(HOME=home, VANDREL_UPDATE_SERVER="http://127.0.0.1:9")
        v = run([os.path.join(prefix, "bin/vandrel"), "--update"], env=env, timeout=60)
        settings = read(os.path.join(home, ".config/Vandrel/Vandrel.conf"))
        # Without a defaults file the program would say which file to create and record nothing.
        check(v.returncode == 0 and v.stderr == "" and "LastUpdate=" in settings,
              "with XDG_CONFIG_DIRS unset the installed program read its AffID and checked: " +
              v.stderr)


STEPS = {"build": step_build, "contents": step_contents, "validate": step_validate,
         "run": step_run, "install": step_install}

if __name__ == "__main__":
    STEPS[sys.argv[1]](Paths(sys.argv[2]))
    print(f"{len(failures)} failed" if failures else "all checks passed")
    sys.exit(1 if failures else 0)
