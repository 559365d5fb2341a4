#!/usr/bin/env python3
"""The editor session the playback benchmarks replay: 60 shapes of both kinds in the four
colours, then picks on the canvas, keys and single periodic events in turn, one event a line,
until the count is reached. Writes the script in the runtime's format (CRLF lines).
    scripts/bench-session.py EVENTS PATH"""
import sys


def button(k):
    return (-275, 225 - 40 * k)


def session(count):
    lines = []
    for n in range(60):
        x, y = -200 + (n * 37) % 450, -220 + (n * 53) % 420
        for point in (button(n % 2), button(8 + n % 4), (x, y), (x + 40, y + 30)):
            lines.append("ZEPHA_MOUSE(%d, %d);" % point)
    lines.append("ZEPHA_MOUSE(%d, %d);" % button(2))
    n = 0
    while len(lines) < count:
        lines.append(("ZEPHA_MOUSE(%d, %d);" % (-200 + (n * 41) % 450, -220 + (n * 29) % 420),
                      "ZEPHA_KBD(%d);" % (97 + n % 26), "ZEPHA_PERIODIC(1);")[n % 3])
        n += 1
    return lines[:count]


if __name__ == "__main__":
    with open(sys.argv[2], "w", newline="\r\n") as f:
        f.write("\n".join(session(int(sys.argv[1]))) + "\n")
