#!/usr/bin/env bash
# Runs every fuzzer built in BUILD_DIR for SECONDS each, on a scratch copy of its seed corpus
# (fuzz/corpus/<name without _fuzzer>), so the checked-in seeds stay as they are. Each fuzzer
# runs on one core: as many run at once as the machine has room for (FUZZ_JOBS), each printing its
# output when it ends; any failure fails the whole run.
# Usage: fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
# AddressSanitizer's default 256 MB quarantine makes each fuzzer 400-800 MB resident: ten side
# by side on a machine of many cores need several GB. 32 MB keeps one near 150 MB. As many run
# at once as there are cores and 512 MB free for each.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32}
export QT_QPA_PLATFORM=offscreen
free_mb=$(awk '/^MemAvailable:/ { print int($2 / 1024) }' /proc/meminfo 2>/dev/null || echo 0)
jobs=${FUZZ_JOBS:-$(nproc)}
room=$((free_mb / 512))
if [[ -z ${FUZZ_JOBS:-} && $free_mb -gt 0 ]]; then
  jobs=$((room < 1 ? 1 : room < jobs ? room : jobs))
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build=$(cd "$build" && pwd)  # the fuzzers run in a scratch folder; crash files go beside them
mapfile -t fuzzers < <(find "$build/fuzz" -maxdepth 1 -type f -perm -u+x -name '*_fuzzer' 2>/dev/null | sort)
if [[ ${#fuzzers[@]} -eq 0 ]]; then
  echo "no fuzzers built in $build/fuzz" >&2
  exit 1
fi

run_one() {
  local fuzzer=$1 name seeds corpus status=0
  name=$(basename "$fuzzer")
  seeds="$here/corpus/${name%_fuzzer}"
  corpus="$work/$name"
  mkdir -p "$corpus"
  [[ -d "$seeds" ]] && cp -r "$seeds/." "$corpus/"
  (cd "$work" && "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz/" \
      "$corpus") > "$work/$name.log" 2>&1 || status=$?
  echo "== $name: ${seconds}s, exit $status"
  cat "$work/$name.log"
  echo "$status" > "$work/$name.status"
  return "$status"
}

failed=0
running=0
for fuzzer in "${fuzzers[@]}"; do
  run_one "$fuzzer" &
  running=$((running + 1))
  if [[ $running -ge $jobs ]]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [[ $running -gt 0 ]]; do
  wait -n || failed=1
  running=$((running - 1))
done
if [[ $failed -ne 0 ]]; then
  # CI keeps only the end of what was printed: say again which fuzzer failed and how.
  for fuzzer in "${fuzzers[@]}"; do
    name=$(basename "$fuzzer")
    status=$(cat "$work/$name.status" 2>/dev/null || echo "none")
    [[ $status == 0 ]] && continue
    echo "== $name failed (exit $status):"
    { grep -E -A12 'ERROR:|ALARM:|out-of-memory|runtime error' "$work/$name.log" | head -60
      grep -E 'Test unit written|Base64' "$work/$name.log"; } | awk '!seen[$0]++' || true
  done
  echo "a fuzzer failed: its output is above" >&2
  exit 1
fi
echo "${#fuzzers[@]} fuzzers ran ${seconds}s each, none failed"
