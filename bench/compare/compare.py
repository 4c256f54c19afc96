#!/usr/bin/env python3
"""Side-by-side comparison of Tarvel and Ghostscript on the two job pages.

Each engine prints each page as a whole process, once with one page and
once with PAGES pages, ROUNDS times, the four processes of a round in
alternation so that the machine's drift hits both engines alike. The cost of
one page is (time of PAGES pages - time of 1 page) / (PAGES - 1): loading,
font set-up and the picture's construction cancel out. Bytes per page are
taken the same way; peak memory is the resident peak of the long run.
Printed: medians with the min and max over the rounds, and the ratios of
the medians (Tarvel / Ghostscript). Beside the elapsed time, the CPU time
(user + system, all threads) per page is given the same way: on a machine
shared with other work it is the steadier figure.

usage: compare.py <compare_pages executable> [--rounds N] [--pages N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# page name, Tarvel's argument, PostScript file, Ghostscript device
PAGES = [
    ("(a) text, monochrome PCL", "text", "text-page.ps", "ljet4"),
    ("(b) mixed, CMYK PCL", "mixed", "mixed-page.ps", "cdj550"),
]


def run(argv, output, env):
    """Runs one process; returns (seconds, CPU seconds, bytes written, peak RSS in KiB)."""
    if os.path.exists(output):
        os.unlink(output)
    start = time.perf_counter()
    process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit("failed: " + " ".join(argv))
    return elapsed, usage.ru_utime + usage.ru_stime, os.path.getsize(output), usage.ru_maxrss


def tarvel(exe, page, count, folder, env):
    output = os.path.join(folder, "tarvel.prn")
    return run([exe, page, str(count), output], output, env)


def ghostscript(ps, device, count, folder, env):
    output = os.path.join(folder, "gs.pcl")
    argv = ["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-r300", "-sPAPERSIZE=a4",
            "-sDEVICE=" + device, "-dPAGES=%d" % count, "-sOutputFile=" + output,
            os.path.join(HERE, ps)]
    return run(argv, output, env)


def per_page(short, long, pages):
    return [(l - s) / (pages - 1) for s, l in zip(short, long)]


def spread(values, scale, fmt):
    return (fmt % (statistics.median(values) * scale) + " (" + fmt % (min(values) * scale)
            + "-" + fmt % (max(values) * scale) + ")")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--pages", type=int, default=11)
    args = parser.parse_args()
    if args.pages < 2 or args.rounds < 1:
        sys.exit("--pages must be 2 or more and --rounds 1 or more")
    with tempfile.TemporaryDirectory(prefix="tarvel-compare-") as folder:
        env = dict(os.environ)
        env["XDG_CONFIG_HOME"] = os.path.join(folder, "config")  # fresh default settings
        print("%-26s %-12s %-22s %-22s %-10s %-10s" % ("page", "engine", "ms/page median (min-max)",
                                                       "CPU ms/page", "bytes/page", "peak MiB"))
        for title, name, ps, device in PAGES:
            figures = {}
            for engine in ("tarvel", "gs"):
                figures[engine] = {"short": [], "long": [], "cpuShort": [], "cpuLong": [], "bytes": [],
                                   "peak": []}
            for _ in range(args.rounds):
                for engine in ("tarvel", "gs"):
                    f = figures[engine]
                    for count in (1, args.pages):
                        if engine == "tarvel":
                            seconds, cpu, size, peak = tarvel(args.exe, name, count, folder, env)
                        else:
                            seconds, cpu, size, peak = ghostscript(ps, device, count, folder, env)
                        if count == 1:
                            f["short"].append(seconds)
                            f["cpuShort"].append(cpu)
                            shortSize = size
                        else:
                            f["long"].append(seconds)
                            f["cpuLong"].append(cpu)
                            f["bytes"].append((size - shortSize) / (args.pages - 1))
                            f["peak"].append(peak)
            medians = {}
            for engine, label in (("tarvel", "Tarvel"), ("gs", "gs " + device)):
                f = figures[engine]
                times = per_page(f["short"], f["long"], args.pages)
                cpu = per_page(f["cpuShort"], f["cpuLong"], args.pages)
                medians[engine] = (statistics.median(times), statistics.median(f["bytes"]),
                                   statistics.median(f["peak"]), statistics.median(cpu))
                print("%-26s %-12s %-22s %-22s %-10s %-10s" % (
                    title, label, spread(times, 1000, "%.1f"), spread(cpu, 1000, "%.1f"),
                    "%d" % medians[engine][1], spread(f["peak"], 1 / 1024, "%.0f")))
            t, g = medians["tarvel"], medians["gs"]
            print("%-26s %-12s time %.2fx, CPU %.2fx, bytes %.2fx, peak memory %.2fx" % (
                "", "ratio", t[0] / g[0], t[3] / g[3], t[1] / g[1], t[2] / g[2]))


if __name__ == "__main__":
    main()
