# The real Kodi for the bridge's tests: a virtual display (Xvfb, a display number of its own), a
# PulseAudio null sink (Kodi's fallback audio device has no clock: music would end at once) and
# Kodi with a private HOME whose settings turn JSON-RPC over TCP on, on a free port of 127.0.0.1.
#
#   source kodi_lib.sh; kodi_prepare; kodi_start; ...; kodi_kill; ...; kodi_cleanup
#
# Needs TMP (a private folder); sets KODI_PORT, KODI_PID. Exits 77 naming the package when a
# program is missing.

kodi_need() {
  local tool package
  for tool in Xvfb:xvfb kodi:kodi pulseaudio:pulseaudio ffmpeg:ffmpeg python3:python3; do
    package=${tool#*:}
    tool=${tool%%:*}
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is missing (Debian package $package; scripts/install-deps.sh installs it)"
      exit 77
    fi
  done
}

kodi_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Display, sound and Kodi's settings; once per test.
kodi_prepare() {
  kodi_need
  mkdir -p "$TMP/home/.kodi/userdata" "$TMP/run"
  chmod 700 "$TMP/run"
  KODI_PORT=$(kodi_free_port)
  cat >"$TMP/home/.kodi/userdata/guisettings.xml" <<XML
<settings version="2">
  <setting id="services.esenabled">true</setting>
  <setting id="services.esallinterfaces">false</setting>
  <setting id="services.webserver">false</setting>
  <setting id="services.zeroconf">false</setting>
  <setting id="screensaver.mode"></setting>
</settings>
XML
  cat >"$TMP/home/.kodi/userdata/advancedsettings.xml" <<XML
<advancedsettings><jsonrpc><tcpport>$KODI_PORT</tcpport></jsonrpc></advancedsettings>
XML
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$TMP/display" 2>"$TMP/xvfb.log" &
  XVFB_PID=$!
  local i
  for ((i = 0; i < 100; ++i)); do
    [[ -s $TMP/display ]] && break
    sleep 0.1
  done
  [[ -s $TMP/display ]] || { echo "FAIL: Xvfb gave no display number within 10 s"; exit 1; }
  KODI_DISPLAY=:$(head -n 1 "$TMP/display")
  XDG_RUNTIME_DIR=$TMP/run pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=nul" \
    --load="module-native-protocol-unix socket=$TMP/run/native auth-anonymous=1" \
    >"$TMP/pulse.log" 2>&1 &
  PULSE_PID=$!
}

# Starts Kodi and waits (up to 60 s) until its JSON-RPC answers. Kodi's own program, not the
# `kodi` script in front of it, so that KODI_PID is the process that serves JSON-RPC (and a kill
# reaches it).
kodi_start() {
  local binary
  binary=$(ls /usr/lib/*/kodi/kodi.bin 2>/dev/null | head -n 1)
  [[ -x $binary ]] || { echo "SKIP: kodi.bin is missing (Debian package kodi-bin)"; exit 77; }
  env -u LC_ALL -u LC_CTYPE -u LANG HOME="$TMP/home" DISPLAY="$KODI_DISPLAY" \
    LIBGL_ALWAYS_SOFTWARE=1 KODI_AE_SINK=PULSE PULSE_SERVER="unix:$TMP/run/native" \
    XDG_RUNTIME_DIR="$TMP/run" "$binary" --windowing=x11 >>"$TMP/kodi.log" 2>&1 &
  KODI_PID=$!
  local i
  for ((i = 0; i < 600; ++i)); do
    if kodi_rpc JSONRPC.Ping '{}' 2>/dev/null | grep -q pong; then return 0; fi
    kill -0 "$KODI_PID" 2>/dev/null || { echo "FAIL: Kodi ended at start"; tail -5 "$TMP/kodi.log"; exit 1; }
    sleep 0.1
  done
  echo "FAIL: Kodi's JSON-RPC did not answer within 60 s"
  exit 1
}

# kodi_rpc METHOD PARAMS: one request, prints the answer (the first JSON object of the reply).
kodi_rpc() {
  python3 - "$KODI_PORT" "$1" "$2" <<'PY'
import json, socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
s.sendall(json.dumps({"jsonrpc": "2.0", "id": 1, "method": sys.argv[2],
                      "params": json.loads(sys.argv[3])}).encode())
dec = json.JSONDecoder(); buf = ""
while True:
    chunk = s.recv(65536)
    if not chunk: sys.exit(1)
    buf += chunk.decode("utf-8", "replace")
    while buf.strip():
        buf = buf.lstrip()
        try:
            obj, end = dec.raw_decode(buf)
        except ValueError:
            break
        buf = buf[end:]
        if obj.get("id") == 1:
            print(json.dumps(obj)); sys.exit(0)
PY
}

# Kills Kodi at once (SIGKILL: no goodbye to its clients) and waits for it to go.
kodi_kill() {
  [[ -n ${KODI_PID:-} ]] || return 0
  kill -KILL "$KODI_PID" 2>/dev/null
  wait "$KODI_PID" 2>/dev/null
  KODI_PID=
}

kodi_cleanup() {
  kodi_kill
  [[ -n ${PULSE_PID:-} ]] && kill "$PULSE_PID" 2>/dev/null && wait "$PULSE_PID" 2>/dev/null
  [[ -n ${XVFB_PID:-} ]] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  return 0
}
