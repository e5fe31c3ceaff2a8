# Sourced by the test and demo scripts: a throwaway Wine prefix with its own
# wineserver, RpcSs and an Xvfb display, all ended by vx_session_stop (which
# the caller traps on EXIT).

vx_session_start() {
  export WINEDEBUG=-all
  # No HTML engine here: without this, anything touching it waits on an
  # install prompt.
  export WINEDLLOVERRIDES="mshtml=d;mscoree=d"
  export WINEARCH=win64
  VX_SESSION_DIR=$(mktemp -d /tmp/vornix-session.XXXXXX)
  export WINEPREFIX="$VX_SESSION_DIR/prefix"

  # A free display number for Xvfb.
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$VX_SESSION_DIR/xvfb.log" 2>&1 &
  VX_XVFB_PID=$!
  export DISPLAY=":$n"

  mkdir -p "$WINEPREFIX"
  wineserver -p
  # -u, not -i: on a fresh prefix -i leaves two services.exe answering the
  # same pipe in turn, and every other service call misses what the last made.
  wineboot -u >"$VX_SESSION_DIR/wineboot.log" 2>&1
  # Activating a local server needs RpcSs, which is idle after wineboot.
  # wineboot returns before the service database settles ("locked", or a
  # start that times out), so ask until the service reports RUNNING.
  local tries=0
  until wine sc query rpcss 2>/dev/null | grep -q RUNNING; do
    tries=$((tries + 1))
    if [ "$tries" -gt 30 ]; then
      echo "wine session: RpcSs did not start" >&2
      return 1
    fi
    wine net start rpcss >/dev/null 2>&1 || sleep 1
  done
  # A crashing test program ends at once instead of waiting in the debugger.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
       /v Debugger /t REG_SZ /d '' /f >/dev/null 2>&1 || true
  echo "wine session: prefix $WINEPREFIX, display $DISPLAY"
}

vx_session_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "${VX_XVFB_PID:-}" ]; then
    kill "$VX_XVFB_PID" >/dev/null 2>&1 || true
    wait "$VX_XVFB_PID" 2>/dev/null || true
  fi
  if [ -n "${VX_SESSION_DIR:-}" ] && [ "${VX_KEEP_SESSION:-0}" != 1 ]; then
    rm -rf "$VX_SESSION_DIR"
  fi
}
