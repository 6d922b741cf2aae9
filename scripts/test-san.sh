#!/usr/bin/env bash
# Runs the integration suite against the sanitized build of the whole addon (AddressSanitizer and
# UndefinedBehaviorSanitizer, float-to-integer overflow included): configures and builds build-san/
# (only what the integration tests load or run), then runs node --test with
# TESSIMARKE_BUILD_DIR=build-san. Fails on any failed test; every sanitizer report fails its test
# (tests/integration/harness.js looks for one on each child's standard error).
#
# Node is not instrumented, so the runtimes the addon links against are preloaded into each child
# host (never into the test runner, the X server or the tools): the harness puts
# TESSIMARKE_SANITIZER_PRELOAD first in the child's LD_PRELOAD. Leak detection is off: inside
# Node, LeakSanitizer reports Node's own allocations still held at exit, not the addon's.
# Extra arguments go to node --test (for example one test file).
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

BUILD_DIR=build-san
CXX_COMPILER=${CXX:-g++}
if [[ ! -f "$BUILD_DIR/CMakeCache.txt" ]]; then
  echo "test-san: configuring $BUILD_DIR"
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIMARKE_SANITIZE=ON >/dev/null || exit 1
fi
# The addon, and the native harnesses the integration tests run.
targets=(tessimarke shader_programs virtual_joystick usb-guard usb-guard-check usb-no-kernel-driver)
grep -q '^UMOCKDEV_FOUND:INTERNAL=1' "$BUILD_DIR/CMakeCache.txt" && targets+=(usb-emulator)
echo "test-san: building ${targets[*]} in $BUILD_DIR"
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${targets[@]}" \
  | grep -vE '^\[ *[0-9]+%\]|^Consolidate|^Scanning|^Built target' || true
test -f "$BUILD_DIR/tessimarke.node" || { echo "test-san: build failed" >&2; exit 1; }

asan=$("$CXX_COMPILER" -print-file-name=libasan.so)
ubsan=$("$CXX_COMPILER" -print-file-name=libubsan.so)
for lib in "$asan" "$ubsan"; do
  [[ -e "$lib" ]] || { echo "test-san: sanitizer runtime not found: $lib" >&2; exit 1; }
done
export TESSIMARKE_BUILD_DIR=$BUILD_DIR
export TESSIMARKE_SANITIZER_PRELOAD="$asan $ubsan"
# verify_asan_link_order=0: a test that preloads a library of its own (the emulated USB adapter)
# may put it ahead of the runtimes; the runtimes are still loaded before the addon.
export ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0:abort_on_error=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== integration tests (sanitized: $BUILD_DIR)"
if (($#)); then
  node --test --test-concurrency=2 "$@"
else
  node --test --test-concurrency=2 tests/integration/
fi
