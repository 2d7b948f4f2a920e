#!/usr/bin/env python3
"""Writes the seed corpora and dictionaries of the fuzz targets (fuzz/corpus/<target>/, fuzz/dict/).

The seeds are small inputs that reach the parsers' interesting places: whole working days for the line
target, well-formed and damaged protocol, day and configuration files, scenarios that parse and scenarios
that do not. Files the program reads are Windows-1251; scenarios are UTF-8. Rerun after changing a format:
    python3 fuzz/make_corpus.py
Reproducers of faults found by fuzzing are added by hand (named fault-*) and are left alone here.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("cp1251")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def crlf(lines):
    return "".join(line + "\r\n" for line in lines)


def analyser_line(signal, mode="под.", temperature=20.3):
    head = f"{signal:6.2f} %нас {temperature:4.1f}"
    p = head.index("%")
    return head.ljust(p + 32) + mode


# --- the analyser's lines through the engine (see fuzz_line.cpp for the commands) ---------------------

# Nearly raw smoothing and a delay of 1 s keep the runs short.
QUICK = ["!S 2 1 1 1 1", "!c"]
# A fall that slows down (the initial-rate end point), then a rise (the final-rate end point).
DIP = ["!l 95 -0.3 25 m", "!l 87.5 -0.1 25 m", "!l 85 0.1 30 m"]
CALIBRATION = ["!l 95 0 10 p", "!u", "!l 95 0 2 p", "!g 10", "!l 95 0 40 m"] + DIP + ["!l 92 0 5 p",
                                                                                      "!l 95 0 3 p"]
SMALL = ["!as 2 Проба 1", "!l 95 0 40 m"] + DIP[:2] + ["!l 86 0 5 p", "!l 95 0 3 p"]
FULL = ["!af - Сток 2", "!l 95 0 40 m"] + DIP + ["!l 92 0 5 p", "!l 95 0 3 p"]
line_seeds = {
    "day": QUICK + CALIBRATION + SMALL + FULL + ["!w", "!d", "!o", "!k"],
    # The program's own filter settings: the smoothed signal lags far behind.
    "day-default-filter": ["!c"] + CALIBRATION[:5] + ["!l 95 -0.1 150 m", "!l 80 0.1 120 m", "!l 95 0 5 p",
                                                      "!z"],
    "lines": ["!c", analyser_line(95.0), analyser_line(94.5, "изм."),
              " 95.00 %sat 20.3                       под.",  # wrong unit: the refusal byte
              " 95.00 %нас                           под.",  # no temperature: ignored
              "no percent sign here", "%нас 20.3", " 1e2 %нас 2e1", "-12.50 %нас 20.3",
              " 95.00 %нас 20.3 ", " 95,00 %нас 20,3", "\t95.00\t%нас\t20.3", "%" * 40,
              " 95.00 %нас 20.3" + " " * 200 + "изм.", analyser_line(95.0) + "\r",
              "!b  95.00 %на", "!bс 20.3", "!b\r", "", "!t 3", "!d", analyser_line(95.0)],
    # The link watchdog: a silent analyser.
    "watchdog": ["!c", "!l 95 0 3 p", "!t 60", "!c", "!t 20", "!l 95 0 1 p", "!t 60"],
    # The automatic upper point after a minute of stable signal.
    "auto-upper-point": ["!c", "!s 500", "!l 95 0.003 140 p", "!t 5"],
    # Lines closer than the derivative allows, in a run.
    "fast-lines": QUICK + CALIBRATION[:5] + ["!s 40", "!l 95 -0.1 20 m", "!s 500", "!l 93 -0.1 20 m", "!s 0",
                                              "!l 91 -0.1 5 m"],
    # Cancel of a start prompt, the operation cancelled by the knob, the waiting phase running out.
    "cancel": QUICK + ["!l 95 0 10 p", "!u", "!l 95 0 2 p", "!g 10", "!x", "!g 12 2", "!l 95 0 3 m",
                       "!l 95 0 3 p", "!g 1,5", "!l 95 0 2 m", "!l 80 0.01 620 m", "!l 95 0 5 p"],
    # Above the 200 mg/l limit: the analysis is stopped.
    "limit": QUICK + CALIBRATION + ["!as 500 Крепкий сток", "!l 95 0 40 m"] + DIP + ["!l 90 0 5 p"],
    "commands": ["!A c", "!u", "!p", "!c", "!p", "!c", "!S 20 30 91 11 11 save", "!S 0 0 0 0 0", "!f", "!F",
                 "!l 95 0 5 p", "!A y", "!f", "!F", "!u 10 2", "!g abc", "!g -1", "!g 10.5 0", "!k", "!w",
                 "!d", "!o", "!S 1 1 1 1 1 save", "!R", "!P COM12", "!p", "!c", "!P /dev/ttyS0", "!c", "!p", "!A n",
                 "!z", "!c"],
}
for name, records in line_seeds.items():
    write("fuzz_line", name, "\n".join(records) + "\n")

# --- protocol files and day files ----------------------------------------------------------------------

TWO_BLOCKS = ["2", "S=+087,250 dS=+000,000 T=000,0", "S=+086,900 dS=+000,014 T=001,0", "Проба 1",
              "БПК*=000,46 ", "t=020,5 °C T=12:34", "Время: 14:05:09 Дата: 06.12.26 г",
              "1", "S=+080,000 dS=+000,100 T=000,0", "Река", "БПК*=012,35 БПК=007,50 ",
              "t=021,0 °C T=03:05", "Время: 15:10:00 Дата: 05.12.26 г"]
TOXIC = ["1", "S=+001,000 dS=+000,000 T=000,0", "x", "БПК*=002,00 ОТ=045,7 %", "t=020,0 °C T=01:00",
         "Время: 9:05 Дата: 06.12.26 г"]
FULL_TOXIC = ["1", "S=+001,000 dS=+000,000 T=000,0", "x", "БПК*=012,35 БПК=007,50 ОТ=045,7 %",
              "t=020,0 °C T=01:00", "Время: 10:00:00 Дата: 06.12.26 г"]
protocol_seeds = {
    "two-blocks": crlf(TWO_BLOCKS),
    "toxicity": crlf(TOXIC + FULL_TOXIC),
    "count-zero": crlf(["0"] + TOXIC + ["0"]),
    "not-a-count": crlf(["zwei"] + TWO_BLOCKS[1:]),
    "cut-short": crlf(TWO_BLOCKS[:-1]),
    "one-line": crlf(["1"]),
    "empty": "",
    "bad-time": crlf(TWO_BLOCKS[:6] + ["Время: 24:05:09 Дата: 06.12.26 г"]),
    "bad-data": crlf(["1", "S=+08x,250 dS=+000,000 T=000,0"] + TWO_BLOCKS[3:7]),
    "line-endings": "\n".join(TWO_BLOCKS[:7]).encode("cp1251") + b"\r" + "\r".join(TOXIC).encode("cp1251"),
    "nul": crlf(TWO_BLOCKS[:3]).encode("cp1251") + b"\0" + crlf(TWO_BLOCKS[3:]).encode("cp1251"),
    "huge-count": crlf(["2147483647"] + TWO_BLOCKS[1:]),
}
for name, data in protocol_seeds.items():
    write("fuzz_protocol_file", name, data)

day_seeds = {
    "two-blocks": crlf(TWO_BLOCKS),
    "toxicity": crlf(TOXIC + FULL_TOXIC),
    "result-at-top": crlf(["БПК*=001,00 ", "t=020,0 °C T=01:00"]),
    "description-like-result": crlf(TWO_BLOCKS[:3] + ["БПК пробы"] + TWO_BLOCKS[4:]),
    "bad-rate": crlf(TWO_BLOCKS[:10] + ["БПК*=01x,35 БПК=007,50 "] + TWO_BLOCKS[11:]),
    "bad-temperature": crlf(TWO_BLOCKS[:11] + ["t=ab,0 °C T=03:05"] + TWO_BLOCKS[12:]),
    "truncated": crlf(TWO_BLOCKS[:-1]),
    "short-lines": crlf(["1", "S", "x", "БПК", "t", "В"]),
    "empty": "",
}
for name, data in day_seeds.items():
    write("fuzz_day_file", name, data)

# --- the configuration file ----------------------------------------------------------------------------

DEFAULT = ["Последовательный порт       :COM1", "Параметр фильтра           A:0,3", "Параметр фильтра           B:3",
           "Параметр фильтра           С:5", "Частота прерываний          :2", "Транспортное запаздывание   :2",
           "Цвет панелей                :", "градиент                    Вкл", "$00C0C0C0", "$00000000",
           "$00FF0000", "$000000FF", "$00008000", "$00FFFFFF", "$00000000", "Параметры панелей           :",
           "2", "2", "2", "9", "Экран                       Выкл", "Параметры                   Выкл",
           "Интрументы                  Выкл", "Протокол                    Выкл", "Заставка                    Выкл"]


def config(changes=None, lines=None, ending="\r\n"):
    result = list(DEFAULT if lines is None else lines)
    for index, text in (changes or {}).items():
        result[index] = text
    return ending.join(result) + ending


config_seeds = {
    "default": config(),
    "saved": config({1: "Параметр фильтра           A:0,40", 7: "градиент                    Выкл",
                     20: "Экран                       Вкл", 24: "Заставка                    Вкл"}),
    "nineteen-lines": config(lines=DEFAULT[:19]),
    "twenty-lines": config(lines=DEFAULT[:20]),
    "port-12": config({0: "Последовательный порт       :COM12"}),
    "port-path": config({0: "Последовательный порт       :/dev/ttyUSB0   "}),
    "decimal-colour": config({11: "255", 12: "-1", 16: "0", 19: "12"}),
    "switch-words": config({20: "Экран                       вкл", 21: "Параметры                   Выклю",
                            22: "Интрументы", 24: "Заставка                    Вкл."}),
    "point-separator": config({1: "Параметр фильтра           A:0.40"}),
    "out-of-range": config({2: "Параметр фильтра           B:99", 4: "Частота прерываний          :0",
                            5: "Транспортное запаздывание   :45", 1: "Параметр фильтра           A:9,99"}),
    "lf-endings": config(ending="\n"),
    "hex-overflow": config({8: "$FFFFFFFF", 9: "$100000000", 10: "$"}),
}
for name, data in config_seeds.items():
    write("fuzz_config", name, data)

# --- scenarios -----------------------------------------------------------------------------------------


def scenario_day():
    """A calibration and a small analysis in under two minutes of virtual time: quick filter, delay 1 s."""
    events = ["date 2026-12-06", "time 09:00:00.000", "0.000 settings A=1 B=1 C=1 D=1 save", "0.100 connect"]
    t = 0.5

    def lines(count, start, step, mode):
        nonlocal t
        for k in range(count):
            events.append(f"{t:.3f} line {analyser_line(start + step * k, mode)}")
            t = round(t + 0.25, 3)

    def at(text):
        events.append(f"{t:.3f} {text}")

    lines(6, 95, 0, "под.")
    at("answer Cancel")
    at("upper-point")
    lines(2, 95, 0, "под.")
    at("calibrate 10,5 1.5")
    lines(32, 95, 0, "изм.")
    lines(25, 95, -0.3, "изм.")
    lines(25, 87.5, -0.1, "изм.")
    lines(30, 85, 0.15, "изм.")
    lines(4, 92, 0, "под.")
    lines(3, 95, 0, "под.")
    at("analyse small 2 Проба 1 (р. Исеть)")
    lines(32, 95, 0, "изм.")
    lines(25, 95, -0.3, "изм.")
    lines(25, 87.5, -0.1, "изм.")
    lines(4, 88, 0, "под.")
    lines(3, 95, 0, "под.")
    at("save-as saved.txt")
    at("disconnect")
    at("exit")
    return "\n".join(events) + "\n"


scenario_seeds = {
    "day": scenario_day(),
    "headers": "# a comment\ndate 2027-01-31\ntime 23:59:30.250\n\n1 exit\n",
    "verbs": "0.5 connect\n0.5 clear\n1.000 raw 0D 0a ff 41\n1.000 line  94.99 %нас 20.3   под.  \n"
             "1.000 calibrate 12,5 2.5\n2.000 analyse full - Сток  2\n2 settings F=20 D=20 A=40 B=4 C=6 port=COM3 save\n"
             "2 answer OK\n2 answer Yes\n2 save-as saved.txt\n2 save-as cancel\n3 port-fails\n3 connect\n"
             "3 port-works\n3 upper-point\n3 cancel\n3 toxicity\n3 factory-restore\n3 factory-save\n3 disconnect\n",
    "bad-verb": "# day\n\n1.000 connect\n2.000 jump\n",
    "bad-times": "1.0001 connect\n-1.000 connect\n1,5 connect\n",
    "backwards": "1.000 connect\n0.999 clear\n",
    "bad-raw": "1.000 raw 0D ZZ\n1.000 raw 100\n",
    "bad-args": "1.000 calibrate 10 2 3\n1.000 analyse medium 1 x\n1.000 settings F=abc\n1.000 answer Maybe\n",
    "header-late": "1.000 connect\ndate 2026-12-07\n",
    "bad-headers": "date 2026-13-01\ntime 25:00:00.000\n",
    "crlf": "date 2026-12-06\r\n1.000 connect\r\n1.500 line  95.00 %нас 20.3                       под.\r\n",
}
with open(os.path.join(os.path.dirname(HERE), "examples", "day.scenario"), encoding="utf-8") as f:
    scenario_seeds["example-head"] = "".join(f.readlines()[:40])
for name, data in scenario_seeds.items():
    write("fuzz_scenario", name, data.encode("utf-8"))

# --- dictionaries --------------------------------------------------------------------------------------


def dictionary(target, words, encoding="cp1251"):
    os.makedirs(os.path.join(HERE, "dict"), exist_ok=True)
    with open(os.path.join(HERE, "dict", target + ".dict"), "w", encoding="ascii") as f:
        for word in words:
            escaped = "".join(
                chr(b) if 0x20 <= b < 0x7F and chr(b) not in '"\\' else f"\\x{b:02X}" for b in word.encode(encoding))
            f.write(f'"{escaped}"\n')


dictionary("fuzz_line", ["%нас", "изм.", "под.", "\r\n", "!c", "!d", "!k", "!x", "!u", "!g ", "!as ", "!af ",
                         "!t ", "!s ", "!l ", " m", " p", "!b", "!p", "!A ", "!S ", "!R", "!P ", "!f", "!F", "!w", "!o", "!z"])
dictionary("fuzz_protocol_file", ["S=+", " dS=+", " T=", "БПК*=", " БПК=", " ОТ=", " %", "t=", " °C ",
                                  "Время: ", " Дата: ", " г", "\r\n", "000,0", ":"])
dictionary("fuzz_day_file", ["S=+", " dS=+", " T=", "БПК*=", " БПК=", " ОТ=", " %", "t=", " °C ",
                             "Время: ", " Дата: ", " г", "\r\n", "БПК", "000,0"])
dictionary("fuzz_config", ["Вкл", "Выкл", ":COM", "$00", "\r\n", "0,", "                    "])
dictionary("fuzz_scenario", ["connect", "disconnect", "clear", "upper-point", "calibrate ", "analyse small ",
                             "analyse full ", "cancel", "toxicity", "factory-restore", "factory-save",
                             "settings ", "answer ", "save-as ", "exit", "raw ", "line ", "port-fails",
                             "port-works", "date ", "time ", " %нас ", "изм.", "под.", "F=", "D=", "A=", "B=",
                             "C=", "port=", " save"], encoding="utf-8")
