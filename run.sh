#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display found (DISPLAY is not set)." >&2
  echo "Run it on a desktop, or headless under a virtual X server: xvfb-run -a ./run.sh" >&2
  exit 1
fi
exec build/dendrovia
