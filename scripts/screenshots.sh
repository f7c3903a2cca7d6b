#!/usr/bin/env bash
# Pictures of every view of the window against the simulated unit, taken on a virtual display,
# and of the cases the window must get right with a unit that fails some records: a whole-unit
# read browsed and at its end, the History view with one visit, Load on a port that does not
# open, the counters after a save, the key editor over a saved read-out.
# Usage: scripts/screenshots.sh [BUILD_DIR] [OUT_DIR] [LANGUAGE]
#        (defaults: build/release, screenshots, the locale's language)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
out=${2:-screenshots}
language=${3:-}
program="$build/src/shell/quilo-readout"
[[ -x "$program" ]] || { echo "quilo-readout is not built in $build" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (package xvfb)" >&2; exit 1; }
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1280x900x24" "$program" --simulate ${language:+--lang "$language"} --screenshots "$out"
