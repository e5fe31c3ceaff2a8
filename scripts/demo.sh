#!/usr/bin/env bash
# Installs, builds, and runs the engine in a throwaway Wine session beside
# scripted browser and folder windows, printing the agent's status log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
trap vx_session_stop EXIT
vx_session_start
wine "$root/build/bin/TrackerDemo.exe"
