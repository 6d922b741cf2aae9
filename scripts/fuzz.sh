#!/usr/bin/env bash
# Builds the libFuzzer targets of the core (tests/fuzz/) with clang into build-fuzz/ and runs each
# for a fixed time on its seed corpus (tests/fuzz/corpus/<target>/), printing the executions of each.
# Exits non-zero when any target reports a finding (a sanitizer report, a broken invariant, a crash,
# a hang, a leak); the input that found it is kept under build-fuzz/findings/.
#
#   scripts/fuzz.sh [--seconds N] [--max-len BYTES] [target...]     (npm run fuzz -- ...)
#
# Inputs the run discovers go to a scratch corpus under build-fuzz/, never into the repository.
# Installs clang and the libFuzzer runtime itself when they are missing (the main setup does not).
set -uo pipefail
cd "$(dirname "$0")/.."

ALL_TARGETS=(commandstream eventrecords utf8layout skyline glyphstore pcm decodeloop vorbissetup spriteatlas imagefile meshkernels)
SECONDS_PER_TARGET=10
MAX_LEN=4096
targets=()
while (($#)); do
  case "$1" in
    --seconds) SECONDS_PER_TARGET=${2:?--seconds needs a number}; shift 2 ;;
    --max-len) MAX_LEN=${2:?--max-len needs a number}; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    -*) echo "fuzz: unknown option $1" >&2; exit 2 ;;
    *)
      if [[ " ${ALL_TARGETS[*]} " != *" $1 "* ]]; then
        echo "fuzz: unknown target $1 (targets: ${ALL_TARGETS[*]})" >&2
        exit 2
      fi
      targets+=("$1"); shift ;;
  esac
done
((${#targets[@]})) || targets=("${ALL_TARGETS[@]}")
[[ "$SECONDS_PER_TARGET" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: --seconds needs a positive whole number" >&2; exit 2; }

# The project itself (packages, Node-API headers) first: the fuzz build configures the same tree.
bash scripts/setup.sh >/dev/null || { echo "fuzz: setup failed" >&2; exit 1; }

# clang and its libFuzzer runtime, only for this script.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
missing=()
for p in "${FUZZ_PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "fuzz: installing missing packages: ${missing[*]}"
  if [[ $(id -u) -eq 0 ]]; then
    SUDO=()
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    SUDO=(sudo)
  else
    echo "fuzz: cannot install packages without root. Run this, then run again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || exit 1
fi

BUILD=build-fuzz
if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
  echo "fuzz: configuring $BUILD"
  CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIMARKE_FUZZ=ON >/dev/null || exit 1
fi
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "fuzz_$t"); done
cmake --build "$BUILD" -j"$(nproc)" "${build_targets[@]}" | grep -vE '^\[ *[0-9]+%\]|^Consolidate|^Scanning|^Built target' || true
for t in "${targets[@]}"; do
  [[ -x "$BUILD/fuzz/fuzz_$t" ]] || { echo "fuzz: build of fuzz_$t failed" >&2; exit 1; }
done

mkdir -p "$BUILD/findings" "$BUILD/logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
total=0
for t in "${targets[@]}"; do
  scratch="$BUILD/corpus/$t"
  mkdir -p "$scratch"
  log="$BUILD/logs/$t.log"
  # A single input that runs 10 s is a hang; 2 GiB of memory is a runaway.
  "$BUILD/fuzz/fuzz_$t" "$scratch" "tests/fuzz/corpus/$t" \
    -max_total_time="$SECONDS_PER_TARGET" -max_len="$MAX_LEN" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$BUILD/findings/$t-" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  runs=${runs:-0}
  total=$((total + runs))
  if ((rc != 0)); then
    failed+=("$t")
    echo "fuzz: $t: FINDING after $runs executions (exit $rc); log $log, input:"
    grep -E '^(artifact_prefix|Test unit written to)' "$log" | sed 's/^/  /'
    grep -E 'ERROR: |SUMMARY: |runtime error:|fuzz invariant failed' "$log" | head -5 | sed 's/^/  /'
  else
    printf 'fuzz: %-14s %12s executions in %ss, no finding\n' "$t" "$runs" "$SECONDS_PER_TARGET"
  fi
done
echo "fuzz: $total executions in all"
if ((${#failed[@]})); then
  echo "fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
