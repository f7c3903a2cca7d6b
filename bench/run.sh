#!/usr/bin/env bash
# make bench: the read-out benchmarks against the simulated unit; one table on standard output,
# progress on standard error. Not part of the test suite: it takes about four minutes.
# Usage: bench/run.sh BUILD_DIR [quilo-bench options: --repeat N, --only 1,3,6]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
[[ $# -gt 0 ]] && shift
bench="$build/bench/quilo-bench"
if [[ ! -x $bench ]]; then
    echo "bench/run.sh: $bench is not built" >&2
    exit 2
fi
# The window runs without a display.
export QT_QPA_PLATFORM=offscreen
# The whole-unit read-outs of figures 6 and 8 record visits: into a history of the run's own.
history=$(mktemp -d)
trap 'rm -rf "$history"' EXIT
export QUILO_HISTORY="$history/history.sqlite"
"$bench" --sim "$build/src/sim/quilo-sim" --cli "$build/src/cli/quilo" \
    --window "$build/src/shell/quilo-readout" "$@"
