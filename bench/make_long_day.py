#!/usr/bin/env python3
"""A long day at the analyser's fastest rate, for lorimet-replay: make_long_day.py HOURS [RATE] > FILE

Connect, then the idle analyser sends RATE lines a second (20 by default) for HOURS hours, with a signal that
wanders slowly and never settles long enough for the automatic upper point, so nothing ever clears the day's
lists: the worst case for what the program keeps. The day starts at 09:00 and a 24-hour day crosses midnight.
"""
import math
import sys

hours = float(sys.argv[1])
rate = int(sys.argv[2]) if len(sys.argv) > 2 else 20
period_ms = 1000 // rate
out = sys.stdout
out.write("date 2026-12-07\ntime 09:00:00.000\n1.000 connect\n")
end_ms = int(hours * 3600 * 1000)
t = 1000 + period_ms
k = 0
rows = []
while t <= end_ms:
    signal = 92.0 + 3.0 * math.sin(k / 1500.0) + ((k * 7919) % 23) * 0.01
    temperature = 20.3 + 0.5 * math.sin(k / 40000.0)
    head = "%6.2f %%нас %4.1f" % (signal, temperature)
    percent = head.index("%")
    line = head.ljust(percent + 32) + "под."
    rows.append("%d.%03d line %s\n" % (t // 1000, t % 1000, line))
    if len(rows) >= 10000:
        out.write("".join(rows))
        rows = []
    t += period_ms
    k += 1
out.write("".join(rows))
out.write("%d.%03d exit\n" % ((end_ms + 500) // 1000, (end_ms + 500) % 1000))
