"""The events an agent received, from its recording (`lumora run --record`, a scenario file),
for the Kodi tests' checks: read in their order, and looked for one after the other."""
import re
import sys


def events_of(path):
    """The recording's events, each "SESSION NAME [TEXT]" without its leading "event "."""
    with open(path, encoding="utf-8", errors="replace") as recording:
        return [line.split(None, 1)[1].strip() for line in recording
                if line.startswith("event ")]


def finder(events):
    """find(PATTERN, START, WHAT): the index of the first event from START on that PATTERN
    matches whole; when none does, the check ends naming WHAT."""
    def find(pattern, start, what):
        for i in range(start, len(events)):
            if re.fullmatch(pattern, events[i]):
                return i
        sys.exit(f"missing after event {start}: {what} ({pattern})")
    return find
