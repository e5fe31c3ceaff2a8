#!/usr/bin/env bash
# The main job: installs, builds, and runs the agent, the settings service
# and a scripted browser in a throwaway Wine session. Popups are blocked and
# allowed, the count lands in the registry, the status log is printed and a
# screenshot of the desktop (diagnostics window and tray) is saved; the
# control panel is opened, photographed and clicked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${VORNIX_DEMO_OUT:-$root/build/demo}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
agent_pid=""
finish() {
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true
  vx_session_stop
}
trap finish EXIT
vx_session_start
mkdir -p "$out"
export VORNIX_NO_MESSAGEBOX=1

# Installed with the setup, as a user installs it. The demo starts the agent
# itself (/NOSTART) so that it can keep the agent's status log.
bin="$root/build/bin"
wine "$root/build/VornixSetup.exe" /S /NOSTART || { echo "The setup failed ($?)." >&2; exit 1; }
win_dir='C:\Program Files\Quandrel, Inc\Vornix! Popup Blocker'
wine "$bin/BrowserDouble.exe" /RegisterDouble
wine reg add 'HKCU\Software\Microsoft\Internet Explorer\Main' /v 'Start Page' \
     /d 'http://start.example.net/home' /f >/dev/null
favorites="$WINEPREFIX/drive_c/users/$(whoami)/Favorites"
mkdir -p "$favorites/News"
printf '[InternetShortcut]\r\nURL=http://www.favourite-paper.com/\r\n' > "$favorites/News/Paper.url"

js="Z:$root/tests/demo/popup_demo.js"
echo "== The user's browser windows"
wine cscript //nologo "$js" open
echo "== The agent starts"
wine "$win_dir\\Krellin.exe" > "$out/status-log.txt" 2>/dev/null &
agent_pid=$!
# Its classes are registered once it says "Service started"; asking earlier
# would have COM start a second agent, which finds the first and ends.
for _ in $(seq 1 120); do
  grep -q "Service started" "$out/status-log.txt" && break
  sleep 0.5
done
echo "== Pages open popups"
wine cscript //nologo "$js" popups
wine "$bin/DemoInput.exe" restore
sleep 2
import -display "$DISPLAY" -window root "$out/desktop.png" 2>/dev/null &&
  echo "Screenshot of the diagnostics window and tray: $out/desktop.png"
echo "== The tray icon is double-clicked: the control panel starts"
wine "$bin/DemoInput.exe" tray-dblclick || true
# No HTML engine renders its page here, so after a few seconds the panel
# shows its native page, filled from the agent's settings.
panel=$(wine "$bin/DemoInput.exe" panel-wait | tr -d '\r' | sed -n 's/^geometry //p' || true)
if [ -n "$panel" ]; then
  echo "The control panel shows its native page."
  sleep 1
  import -display "$DISPLAY" -window root "$out/control-panel.png" 2>/dev/null || true
  import -display "$DISPLAY" -window root -crop "$panel" +repage \
         "$root/docs/vornixui-native.png" 2>/dev/null &&
    echo "Screenshot of the control panel: docs/vornixui-native.png"
  wine cscript //nologo "$js" settings
  echo "== A click on \"Close popups that cannot be resized\" in the control panel"
  wine "$bin/DemoInput.exe" panel-click "Close popups that cannot be resized" || true
  sleep 1
else
  echo "The control panel did not show its page."
fi
wine cscript //nologo "$js" settings
echo "== Block count and allowed sites in the registry"
wine reg query 'HKLM\Software\Quandrel, Inc.\Vornix! Popup Blocker\1.00.000' /v BlockCount
wine reg query 'HKLM\Software\Quandrel, Inc.\Vornix! Popup Blocker\1.00.000' /v AllowedSites
wine cscript //nologo "$js" quit
wait "$agent_pid" 2>/dev/null || true
agent_pid=""
echo "== The agent's status log"
cat "$out/status-log.txt"
