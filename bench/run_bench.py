#!/usr/bin/python3
"""End-to-end and kernel benchmarks of egib2shp, printed as Markdown tables.

    bash tools/bootstrap.sh bench        (installs, builds, runs this)
    python3 bench/run_bench.py BUILD_DIR (with a Release build that has
                                          -DEGIB_BUILD_BENCH=ON)

Generates a small (about 10 MB), a county-sized (about 143 MB: 1.1 million
points, 150,000 parcels, 100,000 buildings), a county-sized whole register
(gen_swde --register, about 203 MB: the same and every other object type) and
a ten-times-county SWDE file with gen_swde, converts each on the route
without conversion ("0 0 0") and
on the heaviest route ("2 18 1": zone-2 correction, stereographic inverse,
datum shift, Gauss-Krüger forward), and reports per row the median wall time
of the runs, input MB/s, vertices/s, the peak resident memory and the peak
anonymous memory (RssAnon, sampled every 2 ms in one more run, which is not
timed), each per point beyond 64 MB,
and the floor of reading the file twice with `wc -l` with the ratio to it,
then the fastest run and the median user and system CPU times.
Every run writes into a fresh output folder, removed after it (untimed).
The county files are also converted with --all (every object type, its
attributes and relations), and the whole register is set beside the run
without it.  Then the growth from the county to ten times it, and the
conversion kernels
of the 2 -> 18 and 10 -> 18 routes beside PROJ's proj_trans_generic on the
same points.

Environment: EGIB_BENCH_DIR (default /tmp/egib2shp-bench) holds the files,
EGIB_BENCH_RUNS (default 5) the runs per row (3 for the largest file),
EGIB_BENCH_FILES (default all) a comma-separated list of the files to run
("small,county,county register,county x10"), EGIB_BENCH_BINARY another
egib2shp to measure (an earlier build, for a before and after) and
EGIB_BENCH_KERNELS=0 leaves the conversion kernels out.
"""
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build-bench"
work = os.environ.get("EGIB_BENCH_DIR", "/tmp/egib2shp-bench")
runs = int(os.environ.get("EGIB_BENCH_RUNS", "5"))
binary = os.path.abspath(os.environ.get("EGIB_BENCH_BINARY", os.path.join(build, "egib2shp")))
os.makedirs(work, exist_ok=True)

# name, parcels, runs, gen_swde options
FILES = [("small", 11000, runs, []), ("county", 150000, runs, []),
         ("county register", 150000, runs, ["--register"]),
         ("county x10", 1500000, max(3, runs // 2), [])]
if os.environ.get("EGIB_BENCH_FILES"):
    chosen = os.environ["EGIB_BENCH_FILES"].split(",")
    FILES = [f for f in FILES if f[0] in chosen]


def path_of(name):
    return os.path.join(work, name.replace(" ", "") + ".swd")


def generate():
    for name, parcels, _, extra in FILES:
        if not os.path.exists(path_of(name)):
            subprocess.run([os.path.join(build, "gen_swde"), "--parcels", str(parcels)] + extra +
                           [path_of(name)], check=True, stderr=subprocess.DEVNULL)


def run_once(args, sample_anon):
    """One run into a fresh output folder: its wall time, peak RSS, peak
    RssAnon (when sampled), what it said on stderr, and its user and system
    CPU times."""
    out_dir = tempfile.mkdtemp(dir=work, prefix="out-")
    # /usr/bin/time for the peak RSS of the whole process.
    cmd = ["/usr/bin/time", "-f", "PEAK %M %U %S", binary, "-o", out_dir] + args
    started = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=out_dir, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         env=dict(os.environ, HOME=out_dir))
    peak_anon, child = 0, None
    if sample_anon:
        while p.poll() is None:
            try:
                if child is None:
                    with open(f"/proc/{p.pid}/task/{p.pid}/children") as f:
                        child = int(f.read().split()[0])
                with open(f"/proc/{child}/status") as f:
                    for line in f:
                        if line.startswith("RssAnon:"):
                            peak_anon = max(peak_anon, int(line.split()[1]) * 1024)
                            break
            except (OSError, IndexError, ValueError):
                pass
            time.sleep(0.002)
        err = p.stderr.read().decode(errors="replace")
    else:
        err = p.communicate()[1].decode(errors="replace")
    wall = time.perf_counter() - started
    shutil.rmtree(out_dir)
    peak = re.search(r"PEAK (\d+) ([\d.]+) ([\d.]+)", err)
    return (wall, int(peak.group(1)) * 1024, peak_anon, err,
            (float(peak.group(2)), float(peak.group(3))))


def measure(args, count):
    # The timed runs sample nothing: on two cores the sampler's reads of
    # /proc every 2 ms took a tenth of the time from the run it timed.  The
    # peak RssAnon comes from one more run, untimed.
    walls, rss, summary, users, systems = [], [], "", [], []
    for _ in range(count):
        wall, peak, _, summary, (user, system) = run_once(args, False)
        walls.append(wall)
        rss.append(peak)
        users.append(user)
        systems.append(system)
    _, peak, anon, _, _ = run_once(args, True)
    rss.append(peak)
    written = re.search(r"written \((\d+) vert", summary)
    points = re.search(r"(\d+) points? collected", summary)
    return (statistics.median(walls), max(rss), anon,
            int(written.group(1)) if written else 0, int(points.group(1)) if points else 0,
            min(walls), statistics.median(users), statistics.median(systems))


def floor(path, count):
    walls = []
    for _ in range(count):
        started = time.perf_counter()
        for _ in range(2):
            subprocess.run(["wc", "-l", path], stdout=subprocess.DEVNULL, check=True)
        walls.append(time.perf_counter() - started)
    return statistics.median(walls)


def per_point(total, points):
    extra = total - 64 * 2**20
    return "under 64 MiB" if extra <= 0 else f"{extra / points:.0f} B"


def main():
    generate()
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if "model name" in l), "?")
    print(f"machine: {os.cpu_count()} cores, {cpu}, {platform.system()} {platform.release()}")
    print(f"date: {time.strftime('%Y-%m-%d')}, median of {runs} runs per row "
          f"(3 for the largest file), each into a fresh output folder")
    print()
    # The fastest run and the median CPU times beside the median wall: on a
    # virtual machine whose memory the host takes back when unused for a
    # while, some runs spend far longer in the kernel at the same user time.
    print("| file | size | route | threads | median wall | MB/s | vertices/s | peak RSS | "
          "(RSS - 64 MiB) / point | peak RssAnon | (RssAnon - 64 MiB) / point | "
          "`wc -l` floor (2 reads) | / floor | fastest | user + system (median) |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    rows = {}
    for name, _, count, _ in FILES:
        path = path_of(name)
        size = os.path.getsize(path)
        fl = floor(path, count)
        routes = [(["0", "0", "0"], 2), (["2", "18", "1"], 2)]
        if name == "county":
            routes += [(["0", "0", "0"], 1), (["2", "18", "1"], 1),
                       (["--points", "2", "18", "1"], 2), (["--all", "0", "0", "0"], 2),
                       (["--all", "0", "0", "0"], 1)]
        if name == "county register":
            routes = [(["0", "0", "0"], 2), (["--all", "0", "0", "0"], 2),
                      (["--all", "2", "18", "1"], 2)]
        for route, threads in routes:
            args = [f"--threads={threads}"] + route[:-3] + [path] + route[-3:]
            wall, rss, anon, vertices, points, fastest, user, system = measure(args, count)
            rows[(name, " ".join(route), threads)] = (wall, rss, anon)
            print(f"| {name} | {size / 1e6:.1f} MB | `{' '.join(route)}` | {threads} | {wall:.3f} s | "
                  f"{size / 1e6 / wall:.0f} | {vertices / wall / 1e6:.2f} M | {rss / 2**20:.0f} MiB | "
                  f"{per_point(rss, points)} | {anon / 2**20:.0f} MiB | {per_point(anon, points)} | "
                  f"{fl:.3f} s | {wall / fl:.1f} | {fastest:.3f} s | {user:.2f} + {system:.2f} s |",
                  flush=True)
    print()
    pairs = [(n, r) for n, r in (("county", "0 0 0"), ("county register", "0 0 0"))
             if (n, r, 2) in rows and (n, "--all " + r, 2) in rows]
    if pairs:
        print("The whole register beside the run without it (2 threads):")
        print()
        print("| file | route | time --all / without | peak RSS --all / without |")
        print("|---|---|---|---|")
        for name, route in pairs:
            a, b = rows[(name, route, 2)], rows[(name, "--all " + route, 2)]
            print(f"| {name} | `{route}` | {b[0] / a[0]:.2f} | {b[1] / a[1]:.2f} |")
        print()
    if ("county", "0 0 0", 2) in rows and ("county x10", "0 0 0", 2) in rows:
        print("Growth from the county to ten times it (2 threads):")
        print()
        print("| route | time x10 / county | peak RSS x10 / county | peak RssAnon x10 / county |")
        print("|---|---|---|---|")
        for route in ("0 0 0", "2 18 1"):
            a, b = rows[("county", route, 2)], rows[("county x10", route, 2)]
            print(f"| `{route}` | {b[0] / a[0]:.2f} | {b[1] / a[1]:.2f} | {b[2] / a[2]:.2f} |")
        print()
    if os.environ.get("EGIB_BENCH_KERNELS", "1") == "0":
        return
    print("Conversion kernels (points per second on the same 4096 points, the same systems;")
    print("median of 5 repetitions):")
    print()
    out = subprocess.run([os.path.join(build, "bench", "geodesy_bench"), "--benchmark_filter=route_",
                          "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true",
                          "--benchmark_format=json"], capture_output=True, text=True, check=True)
    rate = {b["run_name"]: b["items_per_second"] for b in json.loads(out.stdout)["benchmarks"]
            if b.get("aggregate_name") == "median"}
    print("| route | egib2shp | PROJ proj_trans_generic | egib2shp / PROJ |")
    print("|---|---|---|---|")
    for route, label in (("route_2_18_v1", "`2 18 1`: 1965 zone 2 -> 2000 zone 18, with the correction"),
                         ("route_10_18", "`10 18`: 1992 -> 2000 zone 18")):
        ours, proj = rate["egib/" + route], rate["proj/" + route]
        print(f"| {label} | {ours / 1e6:.2f} M/s | {proj / 1e6:.2f} M/s | {ours / proj:.2f} |")


if __name__ == "__main__":
    main()
