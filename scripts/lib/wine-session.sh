# Sourced by scripts/test and scripts/demo: one X display, one fresh Wine
# prefix inside the build tree and one persistent wineserver for the run.
# Everything started here is stopped by wine_session_stop, and nothing else.

export PATH="/usr/lib/wine:$PATH"
# Quiet, except for exceptions Wine swallows in window procedures (err+seh);
# heap checking fills freed blocks, so a use after free faults every time.
export WINEDEBUG="${WINEDEBUG:--all,err+seh,warn+heap}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

_xvfb_pid=""

wine_session_start() {  # $1: folder for the prefix
  local root="$1"
  mkdir -p "$root"
  # Xvfb picks the first free display itself and says which once it is
  # ready: runs started side by side never race for the same one.
  rm -f "$root/xvfb.display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$root/xvfb.display" >"$root/xvfb.log" 2>&1 &
  _xvfb_pid=$!
  local display=""
  for _ in $(seq 1 300); do
    display=$(tr -dc '0-9' <"$root/xvfb.display" 2>/dev/null)
    [ -n "$display" ] && break
    kill -0 "$_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$display" ]; then
    echo "wine-session: Xvfb did not start (see $root/xvfb.log)" >&2
    return 1
  fi
  export DISPLAY=":$display"

  export WINEPREFIX="$root/prefix"
  rm -rf "$WINEPREFIX"
  wine64 wineboot -i >"$root/wineboot.log" 2>&1 || true
  wineserver -w
  wineserver -p
  # A crash prints its backtrace and ends at once, instead of waiting behind
  # winedbg's dialog until the test's timeout.
  wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  # Wine's own services settle before the first test process starts.
  wine64 cmd /c exit >/dev/null 2>&1 || true
}

# Sets the prefix's screen DPI; the wineserver is restarted so that it reads
# the setting.
wine_session_set_dpi() {  # $1: DPI
  wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || return 1
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p
  wine64 cmd /c exit >/dev/null 2>&1 || true
}

wine_session_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "$_xvfb_pid" ]; then
    kill "$_xvfb_pid" >/dev/null 2>&1 || true
    wait "$_xvfb_pid" 2>/dev/null || true
    _xvfb_pid=""
  fi
}
