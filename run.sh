#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

# Once, when NEURON is installed: real samples simulated by it, a cell and a network.
nrn_sample=build/samples/neuron-pyramid.dat
ring_sample=build/samples/neuron-ring.dat
if [ ! -e "$nrn_sample" ] || [ ! -e "$ring_sample" ]; then
  for py in python3 /usr/bin/python3; do
    if NEURON_MODULE_OPTIONS=-nogui "$py" -c "import neuron" >/dev/null 2>&1; then
      export NEURON_MODULE_OPTIONS=-nogui
      if [ ! -e "$nrn_sample" ]; then
        "$py" tools/neuron/make_pyramid_sample.py "$nrn_sample" ||
          echo "run.sh: could not simulate the NEURON sample; going on without it" >&2
      fi
      if [ ! -e "$ring_sample" ]; then
        # Written aside and renamed, so that an interrupted run leaves no sample.
        if "$py" tools/neuron/dendrovia_export.py tools/neuron/ring_network.py \
          --description "Ring of 8 ball-and-stick cells on NEURON's ParallelContext: a spike started in cell 0 travels round the ring; v over 100 ms" \
          -o "$ring_sample.part" >/dev/null; then
          mv "$ring_sample.part" "$ring_sample"
        else
          rm -f "$ring_sample.part"
          echo "run.sh: could not simulate the NEURON network sample; going on without it" >&2
        fi
      fi
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
