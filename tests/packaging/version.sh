#!/usr/bin/env bash
# Every program answers --version with its name and the project's one version, and needs no
# display for it.
# Usage: version.sh VERSION PROGRAM...
set -uo pipefail
want=$1; shift
failed=0
for program in "$@"; do
  name=$(basename "$program")
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version 2>&1)
  status=$?
  if [[ $status -ne 0 || $got != "$name $want" ]]; then
    echo "FAIL: $name --version gave '$got' (exit $status), expected '$name $want'"
    failed=1
  fi
  # The manual page is made from --help: it must come without a display too.
  if ! env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>/dev/null | grep -q '^Usage:'; then
    echo "FAIL: $name --help does not answer without a display"
    failed=1
  fi
done
[[ $failed -eq 0 ]] && echo "all ${#} programs say version $want"
exit $failed
