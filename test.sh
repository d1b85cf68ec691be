#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole suite under an
# X server (Xvfb when there is no display), then the Qt-free layers again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh

jobs=$(nproc)
# A compiler cache, where there is one, makes a rebuild of unchanged sources cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DDENDROVIA_GUI=OFF -DDENDROVIA_SANITIZE=ON -DDENDROVIA_BENCH=OFF "${launcher[@]}"
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs")

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
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
