#!/usr/bin/env bash
# Builds and runs the benchmarks from the repository root (text layout opens the fonts by their
# relative paths): the pure-core benchmarks when there are any, then text layout. Extra arguments go
# to each benchmark program (for example --benchmark_filter=Layout).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${TESSIMARKE_BUILD_DIR:-build}
if [[ ! -f "$BUILD_DIR/CMakeCache.txt" ]]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
test -f app/assets/fonts/IBMPlexMono-Regular.ttf || scripts/assets.sh

targets=(text_layout_bench)
if cmake --build "$BUILD_DIR" --target help | grep -qw benchmarks; then targets=(benchmarks "${targets[@]}"); fi
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${targets[@]}" | grep -vE '^\[ *[0-9]+%\]|^Consolidate|^Scanning|^Built target' || true

for t in "${targets[@]}"; do
  if [[ "$t" == benchmarks ]]; then "$BUILD_DIR/benchmarks" "$@"; else "$BUILD_DIR/bench/$t" "$@"; fi
done
