#!/usr/bin/env bash
# Installs, upgrades and removes the blocker with VornixSetup.exe /S in a
# Wine session of its own (the shared session of the other tests is left
# alone), beside the scripted browser double of the demo.
# Usage: setup_test.sh <build folder>
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-session.sh"
trap vx_session_stop EXIT
vx_session_start >/dev/null || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { "$@" >/dev/null 2>&1; }

win_dir='C:\Program Files\Quandrel, Inc\Vornix! Popup Blocker'
dir="$WINEPREFIX/drive_c/Program Files/Quandrel, Inc/Vornix! Popup Blocker"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vornix! Popup Blocker"
settings='HKLM\Software\Quandrel, Inc.\Vornix! Popup Blocker\1.00.000'
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vornix! Popup Blocker'
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
registrations=('HKCR\Krellin.KrellinIF' 'HKCR\KrellinSvc.Registry' 'HKCR\AppID\VornixUI.EXE'
               'HKCR\Marklore.Marklore')
js="Z:$root/tests/demo/popup_demo.js"

# A query that fails for another reason than a missing value says why and is
# asked again, up to three times: one run saw a value that was there read as
# missing.
value() {
  local out i
  for i in 1 2 3; do
    out=$(wine reg query "$1" /v "$2" 2>&1) && break
    case "$out" in *[Uu]"nable to find"*) break ;; esac
    echo "reg query $1 /v $2: $(printf '%s' "$out" | tr -d '\r' | grep -v fixme | tail -n 2)" >&2
    sleep 1
  done
  printf '%s\n' "$out" | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# Processes of this prefix only: another session may run the same programs.
running() {
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
# The agent started by the setup writes to its output.
install() { wine "$build/VornixSetup.exe" /S >>"$VX_SESSION_DIR/agent.log" 2>&1 || fail "$1: exit code $?"; }
# The agent starts the service once its classes are served; a client asking
# earlier would have COM start a second agent.
wait_for_agent() {
  local i
  for i in $(seq 1 60); do
    wine sc query KrellinSvc 2>/dev/null | grep -q RUNNING && return 0
    sleep 0.5
  done
  fail "$1: the settings service was not started by the agent"
}

echo "== The user's browser is open; the blocker is installed"
wine "$build/bin/BrowserDouble.exe" /RegisterDouble
ok wine cscript //nologo "$js" open || fail "the browser double did not open its windows"
install install
for f in Krellin.exe KrellinSvc.exe VornixUI.exe Marklore.dll vornixui-popup.htm index.htm Uninstall.exe; do
  [ -f "$dir/$f" ] || fail "$f not installed"
done
[ -f "$menu/Vornix! Popup Blocker.lnk" ] && [ -f "$menu/Uninstall Vornix! Popup Blocker.lnk" ] ||
  fail "Start-menu shortcuts missing"
for key in "${registrations[@]}"; do ok wine reg query "$key" || fail "$key not registered"; done
[ "$(value 'HKLM\System\CurrentControlSet\Services\KrellinSvc' Start)" = 0x2 ] ||
  fail "KrellinSvc is not an auto-start service"
[ "$(value "$run" Krellin)" = "\"$win_dir\\Krellin.exe\"" ] || fail "Run value: $(value "$run" Krellin)"
[ "$(value "$entry" QuietUninstallString)" = "\"$win_dir\\Uninstall.exe\" /S" ] || fail "QuietUninstallString"
for v in DisplayName DisplayVersion Publisher DisplayIcon UninstallString InstallLocation EstimatedSize \
         NoModify NoRepair; do
  [ -n "$(value "$entry" $v)" ] || fail "uninstall entry has no $v"
done

echo "== The installed agent blocks a popup"
wait_for_agent install
out=$(wine cscript //nologo "$js" popups 2>&1)
echo "$out" | grep -q "Agent ready" || fail "the agent did not answer IsServeReady: $out"
echo "$out" | grep -q "banner.html (unknown site) -> blocked" || fail "popup not blocked: $out"
count=$(value "$settings" BlockCount)
[ -n "$count" ] && [ "$count" != 0x0 ] || fail "no BlockCount stored"

echo "== Upgrade over the running copy, its control panel open"
wine "$build/bin/DemoInput.exe" tray-dblclick >/dev/null
for i in $(seq 1 20); do [ -n "$(running 'VornixUI\.exe')" ] && break; sleep 0.5; done
sleep 3 # for its window: its program file cannot be replaced while it runs
wine reg add "$settings" /v KillFixedSize /t REG_DWORD /d 0 /f >/dev/null
old_agent=$(running 'Vornix! Popup Blocker.Krellin\.exe')
[ -n "$old_agent" ] || fail "no agent running before the upgrade"
install upgrade
wait_for_agent upgrade
new_agent=$(running 'Vornix! Popup Blocker.Krellin\.exe')
[ -n "$new_agent" ] && [ "$new_agent" != "$old_agent" ] || fail "agent not restarted: '$old_agent' -> '$new_agent'"
[ "$(value "$settings" BlockCount)" = "$count" ] || fail "BlockCount $count not kept"
out=$(wine cscript //nologo "$js" popups 2>&1)
echo "$out" | grep -q "Agent ready; $((count)) popups blocked so far" || fail "the new agent: $out"
count=$(value "$settings" BlockCount)
out=$(wine cscript //nologo "$js" settings 2>&1)
echo "$out" | grep -q "KillFixedSize=0" || fail "the new agent lost KillFixedSize: $out"

echo "== Uninstall, twice"
# From a copy outside the folder, as the uninstaller does itself, so that
# its exit code reaches this script and the folder can go.
# "_?=" must end the command line unquoted, hence cmd.
cp "$dir/Uninstall.exe" "$WINEPREFIX/drive_c/uninstall-copy.exe"
uninstall() { wine cmd /c "C:\uninstall-copy.exe /S _?=$win_dir"; }
uninstall || fail "uninstall: exit code $?"
[ ! -e "$dir" ] || fail "folder left: $(ls "$dir")"
[ ! -e "$menu" ] || fail "Start-menu folder left"
ok wine reg query "$entry" && fail "uninstall entry left"
[ -z "$(value "$run" Krellin)" ] || fail "Run value left"
for key in "${registrations[@]}"; do ok wine reg query "$key" && fail "$key left registered"; done
ok wine sc query KrellinSvc && fail "service KrellinSvc left"
left=$(running 'Vornix! Popup Blocker.(Krellin|KrellinSvc|VornixUI)\.exe')
[ -z "$left" ] || fail "processes left: $left"
[ "$(value "$settings" BlockCount)" = "$count" ] || fail "silent uninstall did not keep the settings"
uninstall && fail "a second uninstall succeeded"
[ "$(value "$settings" KillFixedSize)" = 0x0 ] || fail "a second uninstall changed the settings"

[ "$failures" = 0 ] && echo "setup test passed" || echo "setup test: $failures failures"
[ "$failures" = 0 ]
