#!/usr/bin/env bash
# One memcheck run of the command line's whole-unit read-out (quilo read all) against the
# simulated unit on a pseudo-terminal: no memory errors and no leaks, every record read.
# Usage: scripts/valgrind.sh [BUILD_DIR]   (default build/debug; not for sanitizer builds)
# QUILO and QUILO_SIM name the two programs when they are not in BUILD_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/debug}
quilo=${QUILO:-$build/src/cli/quilo}
sim=${QUILO_SIM:-$build/src/sim/quilo-sim}
for program in "$quilo" "$sim"; do
  [[ -x "$program" ]] || { echo "valgrind.sh: $program is not built" >&2; exit 2; }
done
command -v valgrind >/dev/null || { echo "valgrind.sh: valgrind is not installed" >&2; exit 2; }

work=$(mktemp -d)
sim_pid=
cleanup() {
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The unit answers at once: the read-out under valgrind is slow enough as it is.
"$sim" --no-pace --link "$work/unit" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  [[ -e "$work/unit" ]] && break
  sleep 0.1
done
[[ -e "$work/unit" ]] || { echo "valgrind.sh: the simulated unit did not start" >&2; cat "$work/sim.log" >&2; exit 2; }

export QT_QPA_PLATFORM=offscreen
# The read-out records its visit too, in a history of the run's own: that is checked as well.
export QUILO_HISTORY="$work/history.sqlite"
status=0
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 --num-callers=30 \
  --log-file="$work/memcheck.log" \
  "$quilo" read all --port "$work/unit" --format csv --output "$work/all.csv" || status=$?

grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|All heap blocks" "$work/memcheck.log" || true
if [[ $status -eq 99 ]]; then
  echo "valgrind.sh: memcheck found errors or leaks:" >&2
  cat "$work/memcheck.log" >&2
  exit 1
fi
if [[ $status -ne 0 ]]; then
  echo "valgrind.sh: quilo read all ended with status $status" >&2
  exit 1
fi
lines=$(wc -l <"$work/all.csv")
echo "valgrind.sh: clean; $lines lines read"
