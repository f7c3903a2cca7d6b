#!/usr/bin/env bash
# The bash completion of quilo, as bash runs it: the script sourced, `complete -p quilo`, then
# the completion function called with COMP_WORDS/COMP_CWORD as bash sets them at a tab.
# Once with bash-completion's helpers loaded (as on an installed system), once without.
# Usage: completion.sh QUILO COMPLETION_SCRIPT
set -uo pipefail
quilo=$1
script=$2
helpers=/usr/share/bash-completion/bash_completion

run_cases() { # $1: "with" or "without" bash-completion's helpers
  bash --norc --noprofile -s -- "$quilo" "$script" "$1" "$helpers" <<'CASES'
quilo=$1 script=$2 mode=$3 helpers=$4
failed=0
if [[ $mode == with ]]; then
  [[ -r $helpers ]] || { echo "FAIL: $helpers is missing (bash-completion)"; exit 1; }
  source "$helpers"
fi
source "$script"
[[ $(complete -p quilo) == "complete -F _quilo quilo" ]] || { echo "FAIL: complete -p quilo: $(complete -p quilo 2>&1)"; failed=1; }

tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
touch "$tmp/visit.quilo"

# complete WORDS...: COMPREPLY for the last word, sorted, one line
complete_words() {
  COMP_WORDS=("$quilo" "$@")
  COMP_CWORD=$#
  COMP_LINE=${LINE:-"$quilo $*"}
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _quilo quilo "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() { # expect "WANTED (words that must all be offered)" WORDS...
  local wanted=$1; shift
  local got; got=$(complete_words "$@")
  for w in $wanted; do
    [[ " $got " == *" $w "* ]] || { echo "FAIL ($mode): quilo $* <TAB> offers '$got', lacks '$w'"; failed=1; }
  done
}
refuse() { # refuse WORD WORDS...: WORD must not be offered
  local unwanted=$1; shift
  local got; got=$(complete_words "$@")
  [[ " $got " != *" $unwanted "* ]] || { echo "FAIL ($mode): quilo $* <TAB> offers '$unwanted'"; failed=1; }
}

expect "ports read set-clock write-key help" ""
refuse "__complete" ""
expect "counters datetime current-key config conf-event daily monthly quarterly yearly date-log key-logs key-table all" read ""
expect "daily date-log" read d
refuse "monthly" read d
expect "organizer LAB SZF OMH" read key-table ""
expect "LAB" read key-table la
expect "OMH SZF" read key-logs ""
expect "all 1 20" read conf-event ""
expect "organizer LAB" write-key ""
expect "now" set-clock ""
expect "--port --format --output --simulate --version" --
expect "Com1 Com2 Com3 Com4" read daily --port ""
expect "Com2" -p Co
expect "table csv json" read daily -f ""
expect "daily" --simulate -f csv read da
expect "$tmp/visit.quilo" read all -o "$tmp/"
# bash splits "--port=Co" at the '=' into three words; the line keeps it whole.
LINE="$quilo read daily --port=Co" expect "Com1 Com4" read daily --port = Co
exit $failed
CASES
}

failed=0
run_cases without || failed=1
run_cases with || failed=1
[[ $failed -eq 0 ]] && echo "completion offers commands, data sets, groups, options, ports, formats and files"
exit $failed
