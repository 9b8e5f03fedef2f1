#!/bin/sh
# Runs two run_demo.sh lanes at the same time, so that two long runs hold one
# test slot between them:  side_by_side.sh ARGS1... -- ARGS2...
# Fails when either fails; skipped (77) only when both are skipped.
set -u
here=$(cd "$(dirname "$0")" && pwd)
first="" second="" into=first
for arg in "$@"; do
  if [ "$arg" = "--" ] && [ "$into" = first ]; then
    into=second
    continue
  fi
  quoted="'$(printf '%s' "$arg" | sed "s/'/'\\\\''/g")'"
  if [ "$into" = first ]; then first="$first $quoted"; else second="$second $quoted"; fi
done
out=$(mktemp -d "${TMPDIR:-/tmp}/side-by-side.XXXXXX")
trap 'rm -rf "$out"' EXIT
eval "sh '$here/run_demo.sh' $first" >"$out/1" 2>&1 &
pid1=$!
eval "sh '$here/run_demo.sh' $second" >"$out/2" 2>&1 &
pid2=$!
wait "$pid1"
status1=$?
wait "$pid2"
status2=$?
sed 's/^/[1] /' "$out/1"
sed 's/^/[2] /' "$out/2"
[ "$status1" -eq 77 ] && [ "$status2" -eq 77 ] && exit 77
{ [ "$status1" -eq 0 ] || [ "$status1" -eq 77 ]; } && { [ "$status2" -eq 0 ] || [ "$status2" -eq 77 ]; }
