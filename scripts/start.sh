#!/usr/bin/env bash
# Sets everything up, then runs the reference host application. Without a display it runs under a
# private X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [[ -z "${DISPLAY:-}" ]]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" node app/main.js "$@"
fi
exec node app/main.js "$@"
