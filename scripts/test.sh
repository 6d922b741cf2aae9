#!/usr/bin/env bash
# Sets everything up (the addon and every test target), then runs the unit tests (ctest) and the
# integration tests (node --test).
# Fails if either fails.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests || exit 1
BUILD_DIR=${TESSIMARKE_BUILD_DIR:-build}

status=0
echo "== unit tests"
(cd "$BUILD_DIR" && ctest --output-on-failure -j2) || status=1

echo "== integration tests"
# Each test file runs in its own process with its own X server; two at a time fit this machine.
node --test --test-concurrency=2 tests/integration/ || status=1
exit $status
