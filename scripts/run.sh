#!/usr/bin/env bash
# The program's main job: the window, talking to the built-in simulated unit on "Com2".
# Without a display it says so and runs the command-line front end instead.
# Usage: scripts/run.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."   # the start page (wtarvel.rtf) is read from the current directory
build=${1:-build/release}

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): running the command line instead." >&2
  if [[ -x "$build/src/cli/quilo" ]]; then
    exec "$build/src/cli/quilo" read all --simulate
  fi
  echo "The command-line front end is not built in $build." >&2
  exit 1
fi

if [[ ! -x "$build/src/shell/quilo-readout" ]]; then
  echo "quilo-readout is not built in $build; run: make run" >&2
  exit 1
fi
exec "$build/src/shell/quilo-readout" --simulate
