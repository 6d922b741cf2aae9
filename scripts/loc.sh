#!/usr/bin/env bash
# Prints the size of the tests against the size of the code, in non-blank lines of source, and
# their ratio. The project keeps tests at about a quarter to a third of the code.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.js' -o -name '*.mjs' \
      -o -name '*.cjs' -o -name '*.ts' -o -name '*.sh' -o -name '*.vert' -o -name '*.frag' -o -name '*.glsl' \) \
      -not -path '*/node_modules/*' -not -path '*/corpus/*' -print0 2>/dev/null |
    xargs -0 cat 2>/dev/null | grep -cv '^\s*$' || true
}

code_dirs=()
for d in native contract lib app shaders scripts examples bench; do [[ -d $d ]] && code_dirs+=("$d"); done
tests=$(count tests)
code=$(count "${code_dirs[@]}")
for d in tests "${code_dirs[@]}"; do printf '%-10s %6d\n' "$d" "$(count "$d")"; done
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d / code %d = %.2f\n", t, c, t / c }'
