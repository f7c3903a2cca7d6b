#!/usr/bin/env bash
# Runs every fuzzer built in BUILD_DIR for SECONDS each, on a scratch copy of its seed corpus
# (fuzz/corpus/<name without _fuzzer>), so the checked-in seeds stay as they are.
# Usage: fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
found=0
while IFS= read -r fuzzer; do
  name=$(basename "$fuzzer")
  seeds="$here/corpus/${name%_fuzzer}"
  corpus="$work/$name"
  mkdir -p "$corpus"
  [[ -d "$seeds" ]] && cp -r "$seeds/." "$corpus/"
  echo "== $name: ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
  found=$((found + 1))
done < <(find "$build/fuzz" -maxdepth 1 -type f -perm -u+x -name '*_fuzzer' 2>/dev/null | sort)
if [[ $found -eq 0 ]]; then
  echo "no fuzzers built in $build/fuzz" >&2
  exit 1
fi
