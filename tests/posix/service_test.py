#!/usr/bin/env python3
"""`lumora run` as a systemd service, with a notification socket and a journal stream of the
test's own: READY=1 comes only once the agent's socket answers, STOPPING=1 when it ends, and
never from an agent that could not start; with standard error as the journal's stream every
line carries its priority (<3> error, <4> warning, <6> information, <7> debug), and without it
none; with standard output as the journal's stream the default panel is none; the Kodi bridge's
lines carry theirs too.

    service_test.py LUMORA
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

LUMORA = sys.argv[1]
TMP = tempfile.mkdtemp(prefix="lumora-service-")
FAILURES = []


def fail(what):
    FAILURES.append(what)
    print("FAIL: " + what)


def environment(**extra):
    """This process's environment without systemd's variables or a configuration file, plus
    extra."""
    env = {k: v for k, v in os.environ.items() if k not in ("NOTIFY_SOCKET", "JOURNAL_STREAM")}
    env["XDG_CONFIG_HOME"] = os.path.join(TMP, "config")
    env["LUMORA_SYSTEM_CONFIG"] = os.path.join(TMP, "no-system.conf")
    env.update(extra)
    return env


def stream_of(path):
    info = os.stat(path)
    return "%d:%d" % (info.st_dev, info.st_ino)


def wait_for_socket(path, agent):
    for _ in range(200):
        if os.path.exists(path) or agent.poll() is not None:
            return
        time.sleep(0.025)


def send(sock, *args):
    return subprocess.run([LUMORA, "send", "--socket", sock] + list(args), env=environment(),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30).returncode


def stop(agent, sock):
    if agent.poll() is None:
        send(sock, "--close")
    try:
        return agent.wait(timeout=10)
    except subprocess.TimeoutExpired:
        agent.kill()
        agent.wait()
        return None


def readiness():
    notify_path = os.path.join(TMP, "notify")
    notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    notify.bind(notify_path)
    notify.settimeout(10)
    sock = os.path.join(TMP, "ready.sock")
    agent = subprocess.Popen([LUMORA, "run", "--socket", sock, "--panel", "none", "--quiet"],
                             env=environment(NOTIFY_SOCKET=notify_path),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        message = notify.recv(4096)
        # The moment READY=1 is here, the agent must answer: a connection is accepted and a
        # message handled.
        probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            probe.connect(sock)
        except OSError as error:
            fail("READY=1 came before the agent's socket listened: %s" % error)
        probe.close()
        if message.split(b"\n") != [b"READY=1"]:
            fail("the first notification is %r, not READY=1" % message)
        if send(sock, "1", "NavHome") != 0:
            fail("the agent that said READY=1 did not handle a message")
        send(sock, "--close")
        message = notify.recv(4096)
        if message.split(b"\n") != [b"STOPPING=1"]:
            fail("the notification on the way out is %r, not STOPPING=1" % message)
        if agent.wait(timeout=10) != 0:
            fail("the agent did not end cleanly after STOPPING=1")
    except socket.timeout:
        fail("no notification within 10 seconds")
    finally:
        stop(agent, sock)

    # An agent that cannot start (its socket's path is taken by a file) never says READY=1.
    taken = os.path.join(TMP, "taken")
    open(taken, "w").close()
    status = subprocess.run([LUMORA, "run", "--socket", taken, "--panel", "none", "--quiet"],
                            env=environment(NOTIFY_SOCKET=notify_path), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=10).returncode
    notify.settimeout(0.5)
    try:
        fail("an agent that could not start (status %d) sent %r" % (status, notify.recv(4096)))
    except socket.timeout:
        pass
    if status != 1:
        fail("an agent whose socket path is a file: status %d, not 1" % status)
    notify.close()


def priorities(journal):
    """One agent with standard error to a file, that file named by JOURNAL_STREAM (journal) or
    not: a message with -v, a frame with a bad magic, a second agent on the same socket, and a
    configuration file in error."""
    tag = "journal" if journal else "file"
    sock = os.path.join(TMP, tag + ".sock")
    err_path = os.path.join(TMP, tag + ".err")
    err = open(err_path, "w")
    # Another file's identity when the stream is not the journal: set, but not standard error.
    stream = stream_of(err_path) if journal else stream_of(TMP)
    env = environment(JOURNAL_STREAM=stream)
    agent = subprocess.Popen([LUMORA, "run", "--socket", sock, "--panel", "none", "-v"], env=env,
                             stdout=subprocess.DEVNULL, stderr=err)
    second_err = os.path.join(TMP, tag + ".second")
    try:
        wait_for_socket(sock, agent)
        if send(sock, "1", "NavHome") != 0:
            fail("%s: the event was not handled" % tag)
        bad = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        bad.settimeout(5)
        bad.connect(sock)
        bad.sendall(b"NOPE" + bytes(28))
        reply = bad.recv(16)
        bad.close()
        if len(reply) < 7 or reply[6] != 2:
            fail("%s: the bad frame's reply is %r, not status 2" % (tag, reply))
        with open(second_err, "w") as second:
            second_env = environment(
                JOURNAL_STREAM=stream_of(second_err) if journal else stream)
            status = subprocess.run([LUMORA, "run", "--socket", sock, "--panel", "none"],
                                    env=second_env, stdout=subprocess.DEVNULL, stderr=second,
                                    timeout=10).returncode
        if status != 1:
            fail("%s: a second agent on the socket: status %d, not 1" % (tag, status))
    finally:
        status = stop(agent, sock)
        err.close()
    if status != 0:
        fail("%s: the agent ended with status %s" % (tag, status))

    config_dir = os.path.join(TMP, tag + "-config", "lumora")
    os.makedirs(config_dir)
    config = os.path.join(config_dir, "lumora.conf")
    with open(config, "w") as f:
        f.write('pannel = "none"\n')
    config_err = os.path.join(TMP, tag + ".config")
    with open(config_err, "w") as f:
        env = environment(XDG_CONFIG_HOME=os.path.dirname(config_dir),
                          JOURNAL_STREAM=stream_of(config_err) if journal else stream)
        status = subprocess.run([LUMORA, "run", "--socket", sock], env=env,
                                stdout=subprocess.DEVNULL, stderr=f, timeout=10).returncode
    if status != 2:
        fail("%s: a configuration file in error: status %d, not 2" % (tag, status))

    p = lambda n: "<%d>" % n if journal else ""
    lines = open(err_path).read().splitlines()
    wanted = [
        re.escape(p(6) + "lumora: listening on " + sock),
        re.escape(p(7)) + r"\d\d:\d\d:\d\d event 1 NavHome -> \d+ packets?",
        re.escape(p(4) + "lumora: refused a frame (status 2): not a Lumora frame (bad magic)"),
    ]
    for pattern in wanted:
        if not any(re.fullmatch(pattern, line) for line in lines):
            fail("%s: no line like %s among:\n  %s" % (tag, pattern, "\n  ".join(lines)))
    # Every line has a priority in the journal, and none has one elsewhere.
    for line in lines:
        if journal and not re.match(r"<[3467]>", line):
            fail("journal: a line without its priority: %r" % line)
        if not journal and re.match(r"<\d>", line):
            fail("file: a line with a priority: %r" % line)
    expected = {
        second_err: p(3) + "lumora: an agent is already running on " + sock,
        config_err: p(3) + "lumora: " + config + ":1: unknown key 'pannel' (allowed: socket, "
        "panel, trace, record, verbose, [lcdproc], [kodi], [follow])",
    }
    for path, line in expected.items():
        got = open(path).read()
        if got != line + "\n":
            fail("%s: wanted %r, got %r" % (tag, line, got))


def default_panel():
    """Standard output as the journal's stream: the default panel is none; as a plain file,
    plain."""
    for journal, line in ((True, 'panel = "none"  # default: standard output is the journal'),
                          (False, 'panel = "plain"  # default: standard output is not a terminal')):
        out_path = os.path.join(TMP, "print-%s" % journal)
        with open(out_path, "w") as out:
            env = environment(JOURNAL_STREAM=stream_of(out_path) if journal else stream_of(TMP))
            subprocess.run([LUMORA, "run", "--print-config"], env=env, stdout=out, timeout=10)
        if line not in open(out_path).read().splitlines():
            fail("no line %r in:\n%s" % (line, open(out_path).read()))


def bridge_priorities():
    """The Kodi bridge, standard error the journal's stream: a port that takes its connection
    (Kodi's place, silent) and no agent: it warns once that the agent is away and follows the
    port; a capture it cannot write is an error."""
    err_path = os.path.join(TMP, "kodi.err")
    sock = os.path.join(TMP, "no-agent.sock")
    with socket.socket() as port_socket, open(err_path, "w") as err:
        port_socket.bind(("127.0.0.1", 0))
        port_socket.listen(1)
        port = str(port_socket.getsockname()[1])
        bridge = subprocess.Popen([LUMORA, "kodi", "--port", port, "--socket", sock],
                                  env=environment(JOURNAL_STREAM=stream_of(err_path)),
                                  stdout=subprocess.DEVNULL, stderr=err)
        try:
            for _ in range(200):
                if "following Kodi" in open(err_path).read():
                    break
                time.sleep(0.05)
        finally:
            bridge.terminate()
            bridge.wait(timeout=10)
    lines = open(err_path).read().splitlines()
    wanted = [re.escape("<4>lumora kodi: no agent on " + sock + "; waiting for it"),
              re.escape("<6>lumora kodi: following Kodi on 127.0.0.1:" + port)]
    if len(lines) != 2 or not all(re.fullmatch(w, l) for w, l in zip(wanted, lines)):
        fail("the Kodi bridge's lines: %r" % lines)

    capture = os.path.join(TMP, "missing", "capture")
    with open(err_path, "w") as err:
        status = subprocess.run([LUMORA, "kodi", "--port", port, "--socket", sock, "--capture",
                                 capture], env=environment(JOURNAL_STREAM=stream_of(err_path)),
                                stdout=subprocess.DEVNULL, stderr=err, timeout=10).returncode
    got = open(err_path).read()
    line = "<3>lumora kodi: cannot write the capture %s: No such file or directory\n" % capture
    if status != 1 or got != line:
        fail("an unwritable capture: status %d, %r (wanted 1, %r)" % (status, got, line))


readiness()
priorities(True)
priorities(False)
default_panel()
bridge_priorities()
subprocess.run(["rm", "-rf", TMP])
if not FAILURES:
    print("the service: ready after listening, stopping on the way out, every note's priority, "
          "the bridge's too")
sys.exit(1 if FAILURES else 0)
