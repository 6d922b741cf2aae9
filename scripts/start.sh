#!/usr/bin/env bash
# Sets everything up (building only the addon), then runs the demo (app/main.js) from the
# repository root, passing on its options (--frames N, --screenshot FILE). With a display it opens
# the demo's window there. Without one it starts a private X server with software GL for the run,
# and unless told otherwise stops after 300 frames and writes the last one to
# $BUILD_DIR/demo-screenshot.png; the demo prints its frame-time figures at the end either way.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR=${TESSIMARKE_BUILD_DIR:-build}
export TESSIMARKE_BUILD_DIR=$BUILD_DIR

if [[ -n "${DISPLAY:-}" ]]; then
  exec node app/main.js "$@"
fi

# Headless: frames and screenshot defaults unless the options name them.
args=("$@")
[[ " ${args[*]} " == *" --frames "* ]] || args+=(--frames 300)
[[ " ${args[*]} " == *" --screenshot "* ]] || args+=(--screenshot "$BUILD_DIR/demo-screenshot.png")

# Sound: a machine without a display rarely has a sound device; play to nothing unless the user
# chose an OpenAL backend or configuration. A missing device would not stop the demo either.
if [[ -z "${ALSOFT_DRIVERS:-}" && -z "${ALSOFT_CONF:-}" ]]; then export ALSOFT_DRIVERS=null; fi
export LIBGL_ALWAYS_SOFTWARE=${LIBGL_ALWAYS_SOFTWARE:-1} GALLIUM_DRIVER=${GALLIUM_DRIVER:-llvmpipe}

# A private X server that dies with this script; it writes its display number to fd 3.
displayfile=$(mktemp)
setpriv --pdeathsig KILL -- Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset \
  3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$displayfile"' EXIT
for _ in $(seq 100); do
  [[ -s "$displayfile" ]] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "start: the X server did not start" >&2; exit 1; }
  sleep 0.1
done
[[ -s "$displayfile" ]] || { echo "start: the X server did not report a display" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$displayfile")"
echo "start: no display; running the demo headless on a private X server ($DISPLAY)"
node app/main.js "${args[@]}"
