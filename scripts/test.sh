#!/usr/bin/env bash
# Installs, builds and runs every test under Wine in a throwaway prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" --i686
. "$root/scripts/wine-session.sh"
trap vx_session_stop EXIT
vx_session_start
cd "$root/build"
ctest --output-on-failure --timeout 600 "$@"
