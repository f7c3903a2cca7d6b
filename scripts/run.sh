#!/usr/bin/env bash
# The program's main job against the built-in simulated unit. Replaced as the front ends land.
set -euo pipefail
build=${1:-build/release}
if [[ -x "$build/src/cli/quilo" ]]; then
  exec "$build/src/cli/quilo" read all --simulate
fi
echo "Quilo ReadOut is being built up: no front end exists in this checkout yet." >&2
exit 1
