#!/usr/bin/env python3
"""A whole command timed, process start to exit:
time_command.py [-n N] [--label TEXT] [--fresh DIR] -- COMMAND [ARGS...]

Runs COMMAND N times (11 by default) after one run that warms the caches, its standard output thrown away
(a pipe read to its end, as a shell pipeline would), and prints the median, the worst and the best wall time
in milliseconds, and the median processor time (user and system) of the command. With --fresh, DIR is
emptied before each run (an import into a new data folder each time). A run that fails stops the
measurement with its exit status and standard error.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time


def run_once(command, fresh):
    if fresh:
        shutil.rmtree(fresh, ignore_errors=True)
        os.makedirs(fresh)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    p = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = (time.perf_counter() - start) * 1000.0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if p.returncode != 0:
        sys.stderr.write(p.stderr.decode("utf-8", "replace"))
        sys.exit("time_command: %s exited with %d" % (command[0], p.returncode))
    cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000.0
    return elapsed, cpu, len(p.stdout)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-n", type=int, default=11)
    parser.add_argument("--label", default="")
    parser.add_argument("--fresh", default="")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")
    run_once(command, args.fresh)
    times, cpus = [], []
    size = 0
    for _ in range(args.n):
        elapsed, cpu, size = run_once(command, args.fresh)
        times.append(elapsed)
        cpus.append(cpu)
    label = args.label or " ".join(command)
    print("%-36s median %8.1f ms  worst %8.1f ms  best %8.1f ms  cpu %8.1f ms  (%d runs, %d bytes out)"
          % (label, statistics.median(times), max(times), min(times), statistics.median(cpus), args.n, size))


if __name__ == "__main__":
    main()
