"""Kodi's side of JSON-RPC over TCP for the follower's tests, on a free port of 127.0.0.1: it
answers the follower's questions as Kodi does on its home screen with `players` audio players
active, each playing a song whose time runs on. With `stall`, it reads nothing more once it has
listed its players; with `notify`, it sends Kodi's notifications of its own as fast as that many
a second: pause and resume in turn, a volume change every tenth, a new song (a title with
accents) every fiftieth.

  kodi = Kodi(players=1); kodi.port; ...; kodi.stop()
  python3 kodi_standin.py PLAYERS NOTIFY_PER_SECOND    # serves until killed, prints its port
"""
import json
import socket
import sys
import threading
import time


class Kodi(threading.Thread):
    def __init__(self, players=0, stall=False, notify=0):
        super().__init__(daemon=True)
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.port = self.server.getsockname()[1]
        self.players = players
        self.stall = stall
        self.notify = notify
        self.stalled = threading.Event()
        self.song = 0
        self.lock = threading.Lock()
        self.start()

    def answer(self, request):
        method = request.get("method")
        if method == "GUI.GetProperties":
            result = {"currentwindow": {"id": 10000, "label": "Home"}}
        elif method == "Application.GetProperties":
            result = {"volume": 100, "muted": False}
        elif method == "Player.GetActivePlayers":
            result = [{"playerid": i, "type": "audio"} for i in range(self.players)]
        elif method == "Player.GetItem":
            title = "Chanson \u00e9t\u00e9 n\u00b0%d \u2605" % self.song
            result = {"item": {"type": "song", "title": title, "label": title,
                               "artist": ["Les Testeurs"], "track": self.song % 20 + 1,
                               "file": "/music/song%d.mp3" % self.song}}
        else:  # the song's time runs on
            ms = int(time.monotonic() * 1000) % 3600000
            result = {"speed": 1, "time": {"hours": 0, "minutes": ms // 60000,
                                           "seconds": ms // 1000 % 60, "milliseconds": ms % 1000}}
        return {"id": request.get("id"), "jsonrpc": "2.0", "result": result}

    def send(self, connection, message):
        with self.lock:
            connection.sendall(json.dumps(message).encode())

    def notifier(self, connection):
        period = 1.0 / self.notify
        count = 0
        try:
            while True:
                time.sleep(period)
                count += 1
                player = {"playerid": 0, "speed": count % 2}
                if count % 50 == 0:
                    self.song += 1
                    method, data = "Player.OnPlay", {"item": {"type": "unknown"}, "player": player}
                elif count % 10 == 0:
                    method, data = "Application.OnVolumeChanged", {"volume": count % 101,
                                                                   "muted": False}
                else:
                    method = "Player.OnPause" if count % 2 == 0 else "Player.OnResume"
                    data = {"item": {"type": "unknown"}, "player": player}
                self.send(connection, {"jsonrpc": "2.0", "method": method,
                                       "params": {"data": data, "sender": "xbmc"}})
        except OSError:
            return

    def run(self):
        while True:
            connection, _ = self.server.accept()
            if self.stall:
                connection.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            if self.notify > 0:
                threading.Thread(target=self.notifier, args=(connection,), daemon=True).start()
            self.serve(connection)

    def serve(self, connection):
        decoder = json.JSONDecoder()
        buffer = ""
        while True:
            try:
                data = connection.recv(65536)
            except OSError:  # the follower dropped a Kodi that stalled
                return
            if not data:
                return
            buffer += data.decode("utf-8", "replace")
            while True:
                buffer = buffer.lstrip()
                try:
                    request, end = decoder.raw_decode(buffer)
                except ValueError:
                    break
                buffer = buffer[end:]
                try:
                    self.send(connection, self.answer(request))
                except OSError:
                    return
                if self.stall and request.get("method") == "Player.GetActivePlayers":
                    self.stalled.set()
                    time.sleep(3600)  # reads nothing more


if __name__ == "__main__":
    kodi = Kodi(players=int(sys.argv[1]), notify=float(sys.argv[2]))
    print(kodi.port, flush=True)
    while True:
        time.sleep(3600)
