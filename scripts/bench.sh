#!/usr/bin/env bash
# Builds and runs the end-to-end benchmark in a throwaway Wine session; prints
# its figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
trap vx_session_stop EXIT
vx_session_start
bin="$root/build/bin"
wine "$bin/EndToEndBenchmark.exe"
