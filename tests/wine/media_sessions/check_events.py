"""check_events.py EXPECTED RECORDING: the events a recording holds against the hand-derived
list of evening.events (see there); prints where they part and exits 1."""
import re
import sys


def readable(text):
    """A recorded event with its \\xHH escapes read as Windows-1252 characters."""
    return re.sub(r"\\x([0-9A-Fa-f]{2})",
                  lambda m: bytes([int(m.group(1), 16)]).decode("cp1252", "replace"), text)


def main():
    expected = [line.rstrip("\n") for line in open(sys.argv[1], encoding="utf-8")
                if line.strip() and not line.startswith("#")]
    events = [readable(line.split(None, 1)[1].strip())
              for line in open(sys.argv[2], encoding="utf-8", errors="replace")
              if line.startswith("event ")]
    at = 0
    for pattern in expected:
        if pattern.startswith("~ "):
            sid = pattern[2:]
            last = None
            if at > 0 and events[at - 1].startswith(sid + " PlayTime "):
                last = events[at - 1]
            while at < len(events) and events[at].startswith(sid + " PlayTime "):
                this = int(events[at].split('"')[1])
                before = int(last.split('"')[1]) if last else None
                seconds = lambda t: t // 10000 * 3600 + t // 100 % 100 * 60 + t % 100
                if before is not None and seconds(this) != seconds(before) + 1:
                    sys.exit(f"event {at + 1}: {events[at]} does not run on from {last}")
                last = events[at]
                at += 1
            continue
        if at >= len(events):
            sys.exit(f"the recording ends where {pattern!r} was expected")
        if not re.fullmatch(pattern, events[at]):
            sys.exit(f"event {at + 1}: {events[at]!r} where {pattern!r} was expected")
        at += 1
    if at != len(events):
        sys.exit(f"more events than expected from event {at + 1}: {events[at:]}")


main()
