#!/usr/bin/python3
"""The Windows build against the Linux build of the same tree: each scenario
runs both binaries (the .exe under Wine) on the same inputs in folders of the
same layout, then compares every file they wrote byte for byte, the .shp
coordinates within 1 micrometre, the console output byte for byte and the
summary on stderr up to its time and the error log's place.

usage: wine_compare.py LINUX_BINARY WINDOWS_EXE GEN_SWDE SOURCE_DIR

Wine runs headless in a private prefix; every run's output goes to files,
never to pipes (Wine's services inherit the handles and keep pipes open).
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

failures = []
TOLERANCE = 1e-6  # metres


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, flush=True)
    return condition


class Side:
    """One of the two builds: how to run it and where its error log is."""

    def __init__(self, name, command, env, error_log):
        self.name, self.command, self.env, self.error_log = name, command, env, error_log

    def start(self, args, cwd, tag):
        out = open(os.path.join(cwd, f".{tag}.stdout"), "wb")
        err = open(os.path.join(cwd, f".{tag}.stderr"), "wb")
        proc = subprocess.Popen(self.command + args, cwd=cwd, env=self.env, stdout=out,
                                stderr=err, stdin=subprocess.DEVNULL)
        return proc, out, err

    def run(self, args, cwd, tag="run"):
        before = self.snapshot(cwd)
        for attempt in (1, 2):
            proc, out, err = self.start(args, cwd, tag)
            status = proc.wait(timeout=600)
            out.close()
            err.close()
            stdout, stderr = read(out.name), read(err.name)
            if attempt == 2 or not self.wine_failed(status, stdout, stderr):
                return status, stdout, stderr
            # Wine itself failed (under load the client's socket to
            # wineserver can be reset before the program starts, or the
            # program is never started at all): nothing of the program's
            # own is in question, so the run is made again from the same
            # state, once, and said so.  A failure of the program's own
            # that comes again is compared as it is.
            print(f"note: {self.name} run {args} in {cwd}: Wine failed (exit status {status}, "
                  f"{stderr.strip()[-120:]!r}); restarting wineserver and running it again",
                  flush=True)
            self.restore(cwd, before)
            subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=60)
        raise AssertionError("unreachable")

    def wine_failed(self, status, stdout, stderr):
        # The program says something on stdout or stderr before every
        # failure of its own; a failed run that said nothing never ran.
        return self.command[0] == "wine" and (b"wine client error" in stderr or
                                              (status != 0 and not stdout and not stderr))

    def snapshot(self, cwd):
        """The files under the run's folder and the error log's length, so a
        run that Wine broke can be undone before it is made again."""
        files = set()
        for root, _, names in os.walk(cwd):
            files.update(os.path.join(root, n) for n in names)
        log = self.error_log_file
        return files, os.path.getsize(log) if log and os.path.exists(log) else None

    def restore(self, cwd, before):
        files, log_size = before
        for root, _, names in os.walk(cwd):
            for n in names:
                path = os.path.join(root, n)
                if path not in files:
                    os.remove(path)
        log = self.error_log_file
        if log and os.path.exists(log):
            if log_size is None:
                os.remove(log)
            else:
                with open(log, "r+b") as f:
                    f.truncate(log_size)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def doubles_close(a, b, off, count):
    xs = struct.unpack_from(f"<{count}d", a, off)
    ys = struct.unpack_from(f"<{count}d", b, off)
    return all(abs(x - y) <= TOLERANCE for x, y in zip(xs, ys))


def header_differs(a, b):
    """The 100-byte header of a .shp or .shx: its bounding box (bytes 36 to
    100) is coordinates; the rest must be the same bytes."""
    return len(a) != len(b) or a[:36] != b[:36] or not doubles_close(a, b, 36, 8)


def shx_differences(a, b):
    if header_differs(a, b):
        return "file header"
    return None if a[100:] == b[100:] else "record offsets"


def shp_differences(a, b):
    """Where two .shp files differ beyond the tolerance of their doubles."""
    if len(a) != len(b):
        return f"sizes {len(a)} and {len(b)}"

    def close(off, count):
        return doubles_close(a, b, off, count)

    if header_differs(a, b):
        return "file header"
    off = 100
    while off < len(a):
        if a[off:off + 12] != b[off:off + 12]:
            return f"record header at {off}"
        length = struct.unpack_from(">i", a, off + 4)[0] * 2
        kind = struct.unpack_from("<i", a, off + 8)[0]
        body = off + 12
        if kind == 1:  # point
            if not close(body, 2):
                return f"point at {off}"
        elif kind == 5:  # polygon
            parts, points = struct.unpack_from("<2i", a, body + 32)
            if not close(body, 4):
                return f"bounding box at {off}"
            head = body + 32
            if a[head:head + 8 + 4 * parts] != b[head:head + 8 + 4 * parts]:
                return f"parts at {off}"
            if not close(head + 8 + 4 * parts, 2 * points):
                return f"vertices at {off}"
        elif a[body:off + 8 + length] != b[body:off + 8 + length]:
            return f"shape at {off}"
        off += 8 + length
    return None


def summary_lines(err, side):
    """stderr without its time and with the error log's place as a name."""
    lines = []
    for line in err.decode("utf-8", "replace").splitlines():
        if line.startswith("egib2shp: ") and line.endswith(" s") and line[10:-2].replace(".", "").isdigit():
            continue
        if side.error_log and side.error_log in line:
            line = line.replace(side.error_log, "<error log>")
        lines.append(line)
    return lines


def report_without_time(data):
    report = json.loads(data)
    report.pop("wall_seconds", None)
    report.pop("error_log", None)
    return report


def compare_trees(name, linux_dir, windows_dir):
    skip = {".run.stdout", ".run.stderr"}
    files = {}
    for top, side_dir in (("linux", linux_dir), ("windows", windows_dir)):
        found = set()
        for root, _, names in os.walk(side_dir):
            for n in names:
                rel = os.path.relpath(os.path.join(root, n), side_dir)
                if os.path.basename(rel) not in skip and not os.path.basename(rel).startswith("."):
                    found.add(rel)
        files[top] = found
    check(files["linux"] == files["windows"],
          f"{name}: files differ: only Linux {sorted(files['linux'] - files['windows'])}, "
          f"only Windows {sorted(files['windows'] - files['linux'])}")
    for rel in sorted(files["linux"] & files["windows"]):
        a = read(os.path.join(linux_dir, rel))
        b = read(os.path.join(windows_dir, rel))
        if rel.endswith(".shp"):
            diff = shp_differences(a, b)
            check(diff is None, f"{name}: {rel}: {diff}")
        elif rel.endswith(".shx"):
            diff = shx_differences(a, b)
            check(diff is None, f"{name}: {rel}: {diff}")
        elif rel.endswith(".json"):
            check(report_without_time(a) == report_without_time(b), f"{name}: {rel} differs")
        else:
            check(a == b, f"{name}: {rel} differs ({len(a)} and {len(b)} bytes)")
    return len(files["linux"] & files["windows"])


def clear_error_logs(sides):
    for side in sides:
        if side.error_log_file and os.path.exists(side.error_log_file):
            os.remove(side.error_log_file)


def error_log_bytes(side):
    path = side.error_log_file
    return read(path) if os.path.exists(path) else b""


def wanted(name):
    """EGIB_WINE_ONLY=name,name... runs only those scenarios."""
    only = os.environ.get("EGIB_WINE_ONLY")
    return not only or name in only.split(",")


def scenario(name, sides, work, setup, runs):
    """setup(dir) makes the inputs; runs is a list of (args, cwd relative to
    the scenario folder); every run of the list is made on both sides."""
    if not wanted(name):
        return None
    started = time.monotonic()
    dirs = {}
    results = {}
    clear_error_logs(sides)
    logs = {}
    for side in sides:
        d = os.path.join(work, side.name, name)
        os.makedirs(d)
        setup(d)
        results[side.name] = [side.run(args, os.path.join(d, cwd)) for args, cwd in runs]
        dirs[side.name] = d
        logs[side.name] = error_log_bytes(side)
    linux, windows = sides
    for k, ((s1, o1, e1), (s2, o2, e2)) in enumerate(zip(results["linux"], results["windows"])):
        check(s1 == s2, f"{name} run {k}: exit status {s1} on Linux, {s2} on Windows")
        check(o1 == o2, f"{name} run {k}: console output differs:\n{o1[:300]!r}\n{o2[:300]!r}")
        l1, l2 = summary_lines(e1, linux), summary_lines(e2, windows)
        check(l1 == l2, f"{name} run {k}: stderr differs:\n" + "\n".join(l1) + "\n--\n" +
              "\n".join(l2))
    check(logs["linux"] == logs["windows"],
          f"{name}: error logs differ ({len(logs['linux'])} and {len(logs['windows'])} bytes)")
    count = compare_trees(name, dirs["linux"], dirs["windows"])
    print(f"{name}: {len(runs)} runs, {count} files compared, "
          f"{time.monotonic() - started:.1f} s", flush=True)
    return results


def main():
    linux_binary, exe, gen_swde, source = map(os.path.abspath, sys.argv[1:5])
    work = tempfile.mkdtemp(prefix="egib-wine-")
    prefix = os.path.join(work, "wineprefix")
    home = os.path.join(work, "home")
    os.makedirs(home)
    wine_env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                    LC_ALL=polish_locale(work, os.environ), DISPLAY="")
    if wine_env["LC_ALL"] != "C.UTF-8":
        wine_env["LOCPATH"] = os.path.join(work, "locale")
    print(f"Wine runs under the locale {wine_env['LC_ALL']}", flush=True)
    wine_env.pop("WAYLAND_DISPLAY", None)
    linux_env = dict(os.environ, HOME=home, LC_ALL="C.UTF-8")
    linux = Side("linux", [linux_binary], linux_env, os.path.join(home, "ZOV_uriri.txt"))
    linux.error_log_file = linux.error_log
    windows = Side("windows", ["wine", exe], wine_env, "c:\\ZOV_uriri.txt")
    windows.error_log_file = os.path.join(prefix, "drive_c", "ZOV_uriri.txt")
    sides = (linux, windows)
    try:
        # The prefix is made once, and a persistent server spares every run
        # the start of Wine's services.
        subprocess.run(["wineboot", "-i"], env=wine_env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=300)
        subprocess.run(["wineserver", "-p"], env=wine_env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=60)
        run_scenarios(sides, work, gen_swde, source)
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=60)
        if not failures:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print(f"outputs kept in {work}")
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("the Windows build wrote the same as the Linux build")
    return 0


def polish_locale(work, env):
    """A Polish Windows (ANSI code page 1250, OEM 852) as Wine emulates it
    under the Unix locale pl_PL.UTF-8, compiled into a private LOCPATH;
    C.UTF-8 (code page 1252) when the locale sources are missing.  Wine
    passes arguments with letters beyond ASCII only under a UTF-8 locale."""
    target = os.path.join(work, "locale", "pl_PL.UTF-8")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    made = subprocess.run(["localedef", "-i", "pl_PL", "-f", "UTF-8", target], env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          stdin=subprocess.DEVNULL)
    return "pl_PL.UTF-8" if os.path.isdir(target) and made.returncode in (0, 1) else "C.UTF-8"


def error_log_fallback(sides, work):
    """c:\ZOV_uriri.txt that cannot be written (here a folder of that name):
    the messages go to %LOCALAPPDATA%\egib2shp\ZOV_uriri.txt, and the
    summary says so."""
    windows = sides[1]
    d = os.path.join(work, "windows", "error_log_fallback")
    os.makedirs(d)
    with open(os.path.join(d, "bad.swd"), "wb") as f:
        f.write(b"SWDE.w.3.00\nQ1,x\nSO\nSX\nSWDEX\n")
    clear_error_logs(sides)
    os.makedirs(windows.error_log_file)
    try:
        status, _, err = windows.run(["bad.swd", "0", "0", "0"], d)
    finally:
        os.rmdir(windows.error_log_file)
    users = os.path.join(os.path.dirname(windows.error_log_file), "users")
    found = [os.path.join(users, u, "AppData", "Local", "egib2shp", "ZOV_uriri.txt")
             for u in os.listdir(users)]
    found = [f for f in found if os.path.exists(f)]
    check(status == 0, f"error_log_fallback: exit status {status}")
    check(len(found) == 1, f"error_log_fallback: no error log in %LOCALAPPDATA%: {found}")
    if found:
        text = read(found[0])
        check(text == b"line=2 code='Q1' Unknown swde code\n\n" * 2,
              f"error_log_fallback: {text!r}")
        os.remove(found[0])
    check(b"written to the error log " in err and b"\\egib2shp\\ZOV_uriri.txt" in err,
          f"error_log_fallback: the summary does not name the fallback: {err!r}")
    print("error_log_fallback: messages in %LOCALAPPDATA%\\egib2shp", flush=True)


def console_progress(sides, work, gen_swde):
    """On a console (Wine's, on a pseudo-terminal from script(1)) stderr
    shows the progress line; stdout redirected to a file is unchanged."""
    import re
    import shlex
    windows = sides[1]
    d = os.path.join(work, "windows", "console")
    os.makedirs(d)
    generate(gen_swde, os.path.join(d, "county.swd"), "--parcels", 3000, "--seed", 9)
    inner = " ".join(shlex.quote(a) for a in windows.command + ["county.swd", "2", "21", "0"])
    with open(os.path.join(d, ".tty"), "wb") as tty:
        status = subprocess.run(["script", "-qec", inner + " >stdout.txt", "/dev/null"], cwd=d,
                                env=windows.env, stdout=tty, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, timeout=300).returncode
    shown = re.sub(rb"\x1b\[[?0-9;]*[A-Za-z]", b"", read(os.path.join(d, ".tty")))
    check(status == 0, f"console: exit status {status}")
    check(b"reading" in shown and b"taken" in shown,
          f"console: no progress line on the console: {shown[:200]!r}")
    check(read(os.path.join(d, "stdout.txt")).endswith(b"faza10KONIEC\n"),
          "console: stdout is not the console output")
    print("console: progress line on a console", flush=True)


def generate(gen_swde, path, *args):
    subprocess.run([gen_swde, *map(str, args), path], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def with_junk(path, junk, tag):
    """Top-level lines of an unknown code, which both passes name in the
    error log."""
    with open(path, "rb") as f:
        header, rest = f.read().split(b"\n", 1)
    lines = b"".join(b"Q%dF%s,x\n" % (k, tag) for k in range(junk))
    with open(path, "wb") as f:
        f.write(header + b"\n" + lines + rest)


# Where generated files lie in each input system (easting, northing).
PLACES = {1: (4637000, 5467000), 2: (4603000, 5806000), 3: (3501000, 5999000),
          5: (237000, 900000), 10: (600000, 460000), 15: (5500000, 5763372),
          18: (6568672, 5763372), 21: (7500000, 5763372), 24: (8500000, 5700000)}

# What Windows cannot have, named here so that it is skipped visibly.
SKIPPED_ON_WINDOWS = {
    "double quote in a file name": "'\"' is not allowed in Windows file names",
    "run as another user": "no su/setuid under Wine",
}


def run_scenarios(sides, work, gen_swde, source):
    sample = os.path.join(source, "examples", "sample.swd")

    def copy_sample(name):
        return lambda d: shutil.copy(sample, os.path.join(d, name))

    # The sample on every route from its 1965 zone 2, each variant.
    routes = [(2, out, v) for out in (2, 1, 3, 4, 5, 10, 15, 18, 21, 24) for v in (0, 1, 2)
              if not (out == 2 and v == 0)]
    scenario("sample_routes", sides, work, copy_sample("sample.swd"),
             [(["--output-dir", f"r{i}_{o}_{v}", "--log", f"r{i}.log", "sample.swd", str(i), str(o),
                str(v)], ".") for i, o, v in routes])
    # The optional layers and the report.
    scenario("sample_all_layers", sides, work, copy_sample("sample.swd"),
             [(["--points", "--precincts", "--report", "report.json", "sample.swd", "2", "21",
                "1"], ".")])

    # A generated county file from every input system.
    def county(d):
        for code, (east, north) in PLACES.items():
            generate(gen_swde, os.path.join(d, f"c{code}.swd"), "--parcels", 1500, "--seed", code,
                     "--north", north, "--east", east)
    outputs = {1: 10, 2: 21, 3: 18, 5: 10, 10: 21, 15: 2, 18: 2, 21: 10, 24: 10}
    scenario("county_routes", sides, work, county,
             [(["--output-dir", f"o{c}", "--log", f"c{c}.log", f"c{c}.swd", str(c), str(o),
                str(c % 3)], ".") for c, o in outputs.items()])
    scenario("county_large", sides, work,
             lambda d: generate(gen_swde, os.path.join(d, "county.swd"), "--parcels", 20000,
                                "--seed", 11),
             [(["county.swd", "2", "21", "1"], ".")])

    # The whole register: every object type with its attributes and
    # relations, the columns added to the parcels, buildings and precincts
    # at the end, on one thread and on two.
    def register(d):
        shutil.copy(sample, os.path.join(d, "sample.swd"))
        generate(gen_swde, os.path.join(d, "register.swd"), "--parcels", 1500, "--register",
                 "--seed", 5)
    scenario("whole_register", sides, work, register,
             [(["--all", "--output-dir", "s", "sample.swd", "2", "21", "0"], "."),
              (["--all", "--output-dir", "r2", "--log", "r2.log", "register.swd", "2", "21",
                "1"], "."),
              (["--all", "-j", "1", "--output-dir", "r1", "--log", "r1.log", "register.swd", "2",
                "21", "1"], ".")])

    # Polish letters in the input's name and in the output folder.
    def polish(d):
        os.makedirs(os.path.join(d, "dane"))
        shutil.copy(sample, os.path.join(d, "dane", "próbka żółw.swd"))
    scenario("polish_letters", sides, work, polish,
             [(["--output-dir", os.path.join("wynik", "łódź"), "dane/próbka żółw.swd", "2", "18",
                "1"], "."),
              (["dane/próbka żółw.swd", "2", "2", "1"], ".")])

    # Twice into the same folder: the second run replaces the first's layers.
    scenario("twice_same_folder", sides, work, copy_sample("sample.swd"),
             [(["sample.swd", "2", "21", "0"], "."), (["sample.swd", "2", "21", "0"], "."),
              (["--report", "r.json", "sample.swd", "2", "10", "1"], "."),
              (["--report", "r.json", "sample.swd", "2", "10", "1"], ".")])

    # A path over 260 characters, for the input and the layers.
    deep = os.path.join(*[f"folder_{k:02d}_with_a_long_name" for k in range(10)])

    def long_path(d):
        os.makedirs(os.path.join(d, deep))
        shutil.copy(sample, os.path.join(d, deep, "sample.swd"))
    results = scenario("long_path", sides, work, long_path,
                       [(["--output-dir", os.path.join(deep, "out"), os.path.join(deep, "sample.swd"),
                          "2", "21", "0"], "."),
                        ([os.path.join(deep, "sample.swd"), "2", "21", "0"], ".")])
    if results:
        check(len(os.path.abspath(os.path.join(work, deep, "out"))) > 260, "long_path: not long")
        check(results["windows"][0][0] == 0, "long_path: the Windows run failed")

    # Four runs at once, every message of each kept in the shared error log.
    if wanted("four_at_once"):
        concurrent(sides, work, gen_swde)
    if wanted("error_log_fallback"):
        error_log_fallback(sides, work)
    if wanted("console") and shutil.which("script"):
        console_progress(sides, work, gen_swde)

    for case, reason in SKIPPED_ON_WINDOWS.items():
        print(f"skipped on Windows: {case} ({reason})")


def concurrent(sides, work, gen_swde):
    junk = 3000
    started = time.monotonic()
    clear_error_logs(sides)
    logs = {}
    for side in sides:
        base = os.path.join(work, side.name, "four_at_once")
        runs = []
        for k in range(4):
            d = os.path.join(base, f"run{k}")
            os.makedirs(d)
            path = os.path.join(d, f"file{k}.swd")
            generate(gen_swde, path, "--parcels", 200, "--seed", 20 + k)
            with_junk(path, junk, b"%d" % k)
            runs.append(side.start([f"file{k}.swd", "2", "21", "0"], d, "run"))
        for proc, out, err in runs:
            check(proc.wait(timeout=600) == 0, f"four_at_once: a {side.name} run failed")
            out.close()
            err.close()
        logs[side.name] = error_log_bytes(side)
    for side in sides:
        lines = [l for l in logs[side.name].split(b"\n") if l]
        for k in range(4):
            kept = sum(1 for l in lines if l.endswith(b"F%d' Unknown swde code" % k))
            check(kept == 2 * junk, f"four_at_once: {side.name} error log kept {kept} of "
                  f"{2 * junk} messages of run {k}")
        count = sum(1 for l in lines if b"Unknown swde code" in l)
        check(count == 4 * 2 * junk,
              f"four_at_once: {side.name} error log kept {count} of {4 * 2 * junk} messages")
    check(sorted(logs["linux"].split(b"\n")) == sorted(logs["windows"].split(b"\n")),
          "four_at_once: the error logs hold different messages")
    compare_trees("four_at_once", os.path.join(work, "linux", "four_at_once"),
                  os.path.join(work, "windows", "four_at_once"))
    print(f"four_at_once: 4 concurrent runs, {4 * 2 * junk} messages, "
          f"{time.monotonic() - started:.1f} s", flush=True)


if __name__ == "__main__":
    sys.exit(main())
