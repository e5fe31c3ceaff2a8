#!/usr/bin/env bash
# Builds the setup, build/VornixSetup.exe, from the 64-bit programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$root/build" --target VornixSetup -- -j"$(nproc)"
echo "Setup: $root/build/VornixSetup.exe"
