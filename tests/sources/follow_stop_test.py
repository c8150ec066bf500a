#!/usr/bin/env python3
"""lumora follow against peers that stall, a row each: SIGTERM ends it within a second whatever
they do, with status 0, and it closes what it opened when the agent still answers.

  follow_stop_test.py LUMORA

Each row starts a real agent (`lumora run --record`) and a Kodi of the test's own on a free port
of 127.0.0.1 (a JSON-RPC server that answers the follower's questions, on its home screen), then
`lumora kodi` (the follower with Kodi alone) between them, and does what the row says before the
stop signal."""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kodi_standin import Kodi  # noqa: E402

LUMORA = sys.argv[1]
failures = []


def wait_for(what, condition, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.02)
    failures.append(what + " did not happen within %d s" % seconds)
    return False


def received(record):
    try:
        with open(record) as f:
            return [line.strip() for line in f if line.startswith("event ")]
    except FileNotFoundError:
        return []


def row(name, kodi, before_stop, closes_reach_agent):
    """Runs one row; before_stop(agent) does what the row does to the agent before SIGTERM."""
    folder = tempfile.mkdtemp(prefix="lumora-follow-stop-")
    sock = os.path.join(folder, "agent.sock")
    record = os.path.join(folder, "agent.rec")
    env = dict(os.environ, XDG_RUNTIME_DIR=folder, TMPDIR=folder, HOME=folder)
    agent = subprocess.Popen([LUMORA, "run", "--no-config", "--socket", sock, "--panel", "none",
                              "--quiet", "--record", record], env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    follower = None
    try:
        if not wait_for(name + ": the agent listening", lambda: os.path.exists(sock)):
            return
        follower = subprocess.Popen([LUMORA, "kodi", "--port", str(kodi.port), "--socket", sock],
                                    env=env, stdout=subprocess.DEVNULL,
                                    stderr=open(os.path.join(folder, "follow.log"), "w"))
        if not wait_for(name + ": Kodi's home at the agent",
                        lambda: "event 1 NavHome" in received(record)):
            return
        before_stop(agent, kodi)
        started = time.monotonic()
        follower.send_signal(signal.SIGTERM)
        try:
            status = follower.wait(timeout=10)
        except subprocess.TimeoutExpired:
            failures.append(name + ": still running 10 s after SIGTERM")
            return
        took = time.monotonic() - started
        if status != 0:
            failures.append("%s: ended with status %d" % (name, status))
        if took > 1.0:
            failures.append("%s: took %.2f s to end after SIGTERM" % (name, took))
        agent.send_signal(signal.SIGCONT)
        if closes_reach_agent:
            wait_for(name + ": the shell closed at the agent",
                     lambda: received(record)[-1:] == ["event 1 SessionClosed"], 5)
        print("%s: ended %.2f s after SIGTERM" % (name, took))
    finally:
        for process in (follower, agent):
            if process is not None and process.poll() is None:
                process.send_signal(signal.SIGCONT)
                process.kill()
                process.wait()
        subprocess.run(["rm", "-rf", folder])


def nothing(agent, kodi):
    time.sleep(0.5)


def stop_agent(agent, kodi):
    """The agent stops (SIGSTOP) while the song plays: the follower waits for its reply to the
    next play time."""
    agent.send_signal(signal.SIGSTOP)
    time.sleep(1.5)


def kodi_stalls(agent, kodi):
    """Kodi lists 25 000 players and reads nothing more: the follower's questions pile up."""
    kodi.stalled.wait(10)
    time.sleep(1.5)


row("the agent answers", Kodi(players=1), nothing, closes_reach_agent=True)
row("the agent stopped", Kodi(players=1), stop_agent, closes_reach_agent=False)
row("Kodi stalls under 25 000 players", Kodi(players=25000, stall=True), kodi_stalls,
    closes_reach_agent=True)

for failure in failures:
    print("FAIL: " + failure)
sys.exit(1 if failures else 0)
