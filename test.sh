#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole suite under an
# X server (Xvfb when there is no display), then the Qt-free layers again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh

jobs=$(nproc)

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DDENDROVIA_GUI=OFF -DDENDROVIA_SANITIZE=ON -DDENDROVIA_BENCH=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs")

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"

gui() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  else
    xvfb-run -a -s "-noreset -screen 0 1920x1080x24" "$@"
  fi
}
cd build
gui ctest --output-on-failure -j "$jobs"
