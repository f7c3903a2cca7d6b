#!/usr/bin/env bash
# The manual pages render without a warning and carry what --help lacks.
# Usage: manpages.sh VERSION PAGE.1...
set -uo pipefail
version=$1; shift
failed=0
for page in "$@"; do
  name=$(basename "$page" .1)
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [[ -z $warnings ]] || { echo "FAIL: $name(1): groff says: $warnings"; failed=1; }
  text=$(MANWIDTH=100 man --warnings -l "$page" 2>&1)
  for want in NAME SYNOPSIS DESCRIPTION OPTIONS "SEE ALSO" "$version" --version --help; do
    grep -q -- "$want" <<<"$text" || { echo "FAIL: $name(1) lacks '$want'"; failed=1; }
  done
  case $name in
    quilo) wants=("EXIT STATUS" "QUILO_PORTS" "EXAMPLES" "tarvel.conf" "read SET" "--simulate" "quilo collect" "units.conf") ;;
    quilo-sim) wants=("EXIT STATUS" "--fault" "EXAMPLES") ;;
    quilo-readout) wants=("QUILO_PORTS" "wtarvel.rtf" "--simulate" "--sim-pace" "FILES") ;;
    *) wants=() ;;
  esac
  for want in "${wants[@]}"; do
    grep -q -- "$want" <<<"$text" || { echo "FAIL: $name(1) lacks '$want'"; failed=1; }
  done
done
[[ $failed -eq 0 ]] && echo "$# manual pages render"
exit $failed
