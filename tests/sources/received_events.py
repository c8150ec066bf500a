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


def song_told(events, find, start):
    """The Kodi tests' song as the agent must receive it from START on: its own session (not the
    shell's), the start of a song, track 4, its title (Windows-1252: the accent the byte E9, the
    star a '?'), its artist and Play. Returns the session and the index of the Play."""
    opened = find(r"(\d+) SessionOpened", start, "the song's session")
    sid = events[opened].split()[0]
    if sid == "1":
        sys.exit("the song shares the shell's session")
    at = find(sid + r" MusicStarted", opened + 1, "the music start")
    at = find(sid + r' ItemNumber "4"', at + 1, "the track number")
    at = find(sid + r' MusicTitle "Caf(\\xE9|\\xe9|é) Song \? Live"', at + 1, "the title")
    at = find(sid + r' ExtraText "The Testers"', at + 1, "the artist")
    return sid, find(sid + r" Play", at + 1, "Play")


def closed_at_end(events):
    """The last events close what the follower had opened when Kodi went: the last song's session
    (stopped, closed), then the shell's. Ends the check naming the last events otherwise."""
    last_open = max(i for i, e in enumerate(events) if e.endswith(" SessionOpened") and e[0] != "1")
    sid = events[last_open].split()[0]
    if events[-3:] != [f"{sid} Stop", f"{sid} SessionClosed", "1 SessionClosed"]:
        sys.exit(f"the last events are {events[-3:]}")
