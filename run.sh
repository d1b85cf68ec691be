#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

# Once, when NEURON is installed: a real sample simulated by it.
nrn_sample=build/samples/neuron-pyramid.dat
if [ ! -e "$nrn_sample" ]; then
  for py in python3 /usr/bin/python3; do
    if NEURON_MODULE_OPTIONS=-nogui "$py" -c "import neuron" >/dev/null 2>&1; then
      NEURON_MODULE_OPTIONS=-nogui "$py" tools/neuron/make_pyramid_sample.py "$nrn_sample" ||
        echo "run.sh: could not simulate the NEURON sample; going on without it" >&2
      break
    fi
  done
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display found (DISPLAY is not set)." >&2
  echo "Run it on a desktop, or headless under a virtual X server: xvfb-run -a ./run.sh" >&2
  exit 1
fi
exec build/dendrovia
