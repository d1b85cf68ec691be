#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each in turn for the given
# number of seconds (default 600), one process at a time.
#   fuzz/run.sh [seconds] [harness ...]      harnesses: FuzzLoad FuzzPalette FuzzIni
# Corpora, logs and crash artifacts go to build-fuzz/fuzz-work/. Extra libFuzzer
# options can be given in FUZZ_FLAGS.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(FuzzLoad FuzzPalette FuzzIni)

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DDENDROVIA_FUZZ=ON -DDENDROVIA_GUI=OFF -DDENDROVIA_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target "${harnesses[@]}" dendrovia-fuzz-seeds

work=$build/fuzz-work
"$build/fuzz/dendrovia-fuzz-seeds" "$work/seeds/FuzzLoad" "$work/seeds/FuzzPalette"

status=0
for harness in "${harnesses[@]}"; do
  corpus=$work/corpus/$harness
  mkdir -p "$corpus" "$work/artifacts" "$work/seeds/$harness"
  echo "== $harness for ${seconds}s"
  # shellcheck disable=SC2086
  if ! "$build/fuzz/$harness" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/$harness-" ${FUZZ_FLAGS:-} \
      "$corpus" "$work/seeds/$harness" 2>&1 | tee "$work/$harness.log"; then
    status=1
  fi
done
exit $status
