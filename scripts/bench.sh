#!/usr/bin/env bash
# Builds and runs the benchmark suite from the repository root (the fonts are relative paths) and
# prints one table: the command stream against one call per command, layout, atlas growth, sound
# loading, skinning in the mesh kernel against JavaScript, allocations per step and frame, resident
# memory over 100,000 steps. Every figure is measured side by side with its comparator in the same
# run, rounds interleaved (the JavaScript skinning loop pairs its rounds with the kernel's, run just
# before it in a child).
#   npm run bench              the full suite (a few minutes on a loaded 2-core machine)
#   npm run bench -- --quick   fewer rounds, under a minute
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${TESSIMARKE_BUILD_DIR:-build}
if [[ ! -f "$BUILD_DIR/CMakeCache.txt" ]]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
test -f app/assets/fonts/IBMPlexMono-Regular.ttf || scripts/assets.sh

targets=(tessimarke percall_bench text_bench skin_bench countalloc)
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${targets[@]}" | grep -vE '^\[ *[0-9]+%\]|^Consolidate|^Scanning|^Built target' || true

exec node bench/run.js "$@"
