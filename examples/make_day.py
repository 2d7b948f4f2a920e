#!/usr/bin/env python3
"""Writes day.scenario: one laboratory day in the analyser's own words, for lorimet-replay.

The oxygen signal idles near air saturation with a little noise. An injected solution makes it fall after
the transport delay and recover: the depth of the fall grows with the solution's BOD, its shape is a smooth
dip u^2 * e^(2(1-u)) reaching its deepest point after TAU seconds. Turning the knob back to preparation
flushes the cell and the signal returns to its idle level within about half a minute.
"""
import math
import random

PERIOD = 0.5  # the analyser at 2 Hz, the default interrupt frequency
TAU = 60.0
DEPTH_PER_MG = 2.5  # % saturation of fall per mg/l of BOD in the cell
BASE = 95.0

rng = random.Random(1251)
events = []  # (time, text)
dips = []  # (start, depth, flush time or None)
knob = "под."


def at(t, text):
    events.append((round(t, 3), text))


def signal(t):
    s = BASE + 0.4 * math.sin(t / 900.0) + rng.gauss(0, 0.008)
    for start, depth, flush in dips:
        if t < start:
            continue
        u = (t - start) / TAU
        fall = depth * u * u * math.exp(2 * (1 - u))
        if flush is not None and t > flush:
            fall *= math.exp(-(t - flush) / 6.0)
        s -= fall
    return s


def line(t):
    s = signal(t)
    temp = 20.3 + 0.2 * math.sin(t / 1200.0)
    head = f"{s:6.2f} %нас {temp:4.1f}"
    # The mode word stands 32 characters after the "%".
    p = head.index("%")
    return head.ljust(p + 32) + knob


timeline = []  # (time, kind, value): knob turns and operator commands, sorted


def run(until):
    global knob
    t = run.t
    while t <= until:
        while timeline and timeline[0][0] <= t:
            when, kind, value = timeline.pop(0)
            if kind == "knob":
                knob = value
            else:
                at(when, value)
        at(t, "line " + line(t))
        t = round(t + PERIOD, 3)
    run.t = t


run.t = 1.5

header = [
    "# One day at the analyser: connect, a stable minute and the automatic upper point,",
    "# the reference-solution (GSO) calibration, a Small and a Full sample analysis, exit.",
    "# Made by examples/make_day.py; the analyser sends a line every 0.5 s.",
    "date 2026-12-06",
    "time 09:00:00.000",
    "1.000 connect",
]


def operation(command_time, command, bod_in_cell):
    """The operator gives a command, injects, turns the knob; the dip follows; the knob goes back."""
    timeline.append((command_time, "cmd", command))
    turn = command_time + 3
    timeline.append((turn, "knob", "изм."))
    start = turn + 30  # the transport delay is over and the fall begins
    dips.append([start, DEPTH_PER_MG * bod_in_cell, None])
    return start


# Idle minute and a half: the upper point is taken automatically after 60 s of a stable signal.
run(80)
# GSO calibration: 10 mg/l certified, undiluted.
start = operation(82, "calibrate 10", 10)
run(start + 100)  # the run ends once the signal has passed its minimum and rises again
timeline.append((run.t + 3, "knob", "под."))
dips[-1][2] = run.t + 3
run(run.t + 60)
# Sample 1: by initial rates (Small), BOD 4 mg/l, undiluted.
start = operation(run.t + 2, "analyse small 1 Проба 1 (р. Исеть, створ 2)", 4)
run(start + 60)
timeline.append((run.t + 3, "knob", "под."))
dips[-1][2] = run.t + 3
run(run.t + 60)
# Sample 2: by final rates (Full), diluted twice, 6 mg/l in the cell (12 mg/l in the sample).
start = operation(run.t + 2, "analyse full 2 Проба 2 (сток, разб. 1:2)", 6)
run(start + 100)
timeline.append((run.t + 3, "knob", "под."))
dips[-1][2] = run.t + 3
run(run.t + 40)
at(run.t + 1, "exit")

events.sort(key=lambda e: e[0])
with open("day.scenario", "w", encoding="utf-8") as f:
    f.write("\n".join(header) + "\n")
    for t, text in events:
        f.write(f"{t:.3f} {text}\n")
