"""Drives a running Kodi through one JSON-RPC connection kept open for the whole run (Kodi 20
can crash when a client connection closes while it announces a notification), step by step:

  kodi_drive.py PORT STEP...
    METHOD=JSON   one request; its answer must not be an error
    sleep:S       wait S seconds
    time:N        wait (at most 15 s) until the active player's time reaches N seconds
"""
import json
import socket
import sys
import time

port = int(sys.argv[1])
conn = socket.create_connection(("127.0.0.1", port), timeout=15)
decoder = json.JSONDecoder()
buffered = ""
next_id = 100


def answer(wanted):
    global buffered
    while True:
        buffered = buffered.lstrip()
        while buffered:
            try:
                obj, end = decoder.raw_decode(buffered)
            except ValueError:
                break
            buffered = buffered[end:].lstrip()
            if obj.get("id") == wanted:
                return obj
        chunk = conn.recv(65536)
        if not chunk:
            sys.exit("kodi_drive: Kodi closed the connection")
        buffered += chunk.decode("utf-8", "replace")


def rpc(method, params):
    global next_id
    next_id += 1
    conn.sendall(json.dumps({"jsonrpc": "2.0", "id": next_id, "method": method,
                             "params": params}).encode())
    reply = answer(next_id)
    if "error" in reply:
        sys.exit(f"kodi_drive: {method} refused: {reply['error']}")
    return reply["result"]


for step in sys.argv[2:]:
    if step.startswith("sleep:"):
        time.sleep(float(step[6:]))
    elif step.startswith("time:"):
        deadline = time.time() + 15
        while True:
            result = rpc("Player.GetProperties", {"playerid": 0, "properties": ["time"]})
            t = result["time"]
            if t["hours"] * 3600 + t["minutes"] * 60 + t["seconds"] >= int(step[5:]):
                break
            if time.time() > deadline:
                sys.exit(f"kodi_drive: the player's time did not reach {step[5:]} s")
            time.sleep(0.2)
    else:
        method, params = step.split("=", 1)
        rpc(method, json.loads(params))
conn.close()
