#!/usr/bin/env bash
# Builds the programs and tests for 64-bit Windows into build/bin.
# With --i686 also checks that the 32-bit build compiles (into build-i686).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$root/build" -- -j"$(nproc)"
if [ "${1:-}" = "--i686" ]; then
  cmake -S "$root" -B "$root/build-i686" -G Ninja -DVORNIX_BUILD_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" >/dev/null
  cmake --build "$root/build-i686" -- -j"$(nproc)"
fi
