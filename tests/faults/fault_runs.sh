#!/bin/sh
# Runs the demo over broken data files and expects it to play to its natural
# end all the same: exit code 0, an "error opening file : " line for each data
# file it cannot open (in the order it opens them) and none for the others.
# Each case breaks every data file at once, in one way:
#   missing      the file is not there
#   empty        zero bytes
#   cut_1        only its first byte
#   cut_half     its first half
#   cut_last     all but its last byte
#   counts_high  counts far beyond what the file holds (meshes: the first
#                record's triangle count 32767; points: 32767; module: song
#                length, restart, instruments, tempo and BPM at their maximum);
#                a raw image twice as long as it should be
#   counts_low   negative counts (meshes: the first record's vertex count -1;
#                points: -32768; module: song length and instrument count -1,
#                tempo and BPM 0); raw images left whole
#   directory    a directory in its place
#   intact       nothing broken (the baseline)
#
#   fault_runs.sh --data DIR --capture PROGRAM [--dt SECONDS] CASE...
#   fault_runs.sh --data DIR --program PROGRAM [--wine] CASE...
#
# --data     folder holding the intact data files (a build's bin/)
# --capture  demo_capture: runs the whole sequence offline with a fixed frame
#            duration (--dt, default 0.1 s, short enough to visit every scene)
#            and must print its frame table; built with the sanitizers, any
#            read outside a buffer ends it with a report and a failure.
#            With every file missing it must instead refuse to run, saying
#            where it looked, with status 1
# --program  a real demo program, started in a private Xvfb screen with no
#            keys pressed: it must end by itself about 89 s after it starts.
#            A copy of it runs in the case's folder: the Linux programs would
#            otherwise take the intact data from their own folder.
#            With --wine it is a Windows program run by $WINE (default wine);
#            WINEPREFIX names the prefix, made on first use
# Exit codes: 0 passed, 1 failed, 77 skipped (Xvfb or Wine missing).
set -u

data="" capture="" program="" wine=no dt=0.1
while [ $# -gt 0 ]; do
  case "$1" in
    --data) data=$2; shift 2 ;;
    --capture) capture=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --wine) wine=yes; shift ;;
    --dt) dt=$2; shift 2 ;;
    --*) echo "fault_runs.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ -n "$data" ] && [ $# -gt 0 ] && { [ -n "$capture" ] || [ -n "$program" ]; } ||
  { echo "usage: fault_runs.sh --data DIR (--capture PROGRAM | --program PROGRAM [--wine]) CASE..." >&2; exit 2; }

# The data files in the order the demo opens them, as it names them.
files="lu09.df fernoth.df model.hax mask.raw part.raw bolinde.df wex.df talmek.df quenvar2.xm"
shown_name() { case "$1" in *.raw) echo ".\\$1" ;; *) echo "$1" ;; esac; }

work=$(mktemp -d "${TMPDIR:-/tmp}/fault-runs.XXXXXX")
xvfb_pid=""
. "$(dirname "$0")/../e2e/harness.sh"
trap harness_cleanup EXIT
trap 'exit 1' INT TERM HUP

failures=0
say() { echo "[$(date +%T)] $*"; }
fail() { say "FAIL: $*"; failures=$((failures + 1)); }
skip() { echo "SKIP: $*"; exit 77; }

# put16 FILE OFFSET VALUE: a little-endian 16-bit value written over the file.
put16() {
  v=$(($3 & 0xFFFF))
  printf "$(printf '\\%03o\\%03o' $((v & 0xFF)) $((v >> 8)))" |
    dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
get16() {  # FILE OFFSET: the signed 16-bit value there
  v=$(od -An -tu2 -j "$2" -N 2 "$1" | tr -d ' ')
  [ "$v" -ge 32768 ] && v=$((v - 65536))
  echo "$v"
}
# Offset of a mesh file's first vertex count: just past the first name.
vertex_count_at() {
  n=$(od -An -v -tu1 -w1 "$1" | grep -n -m 1 '^ *0$' | cut -d: -f1)
  echo "${n:-1}"
}

break_file() {  # CASE FILE
  f=$2
  size=$(wc -c <"$f")
  case "$1" in
    intact) ;;
    missing) rm -f "$f" ;;
    empty) : >"$f" ;;
    cut_1) head -c 1 "$f" >"$f.cut" && mv "$f.cut" "$f" ;;
    cut_half) head -c $((size / 2)) "$f" >"$f.cut" && mv "$f.cut" "$f" ;;
    cut_last) head -c $((size - 1)) "$f" >"$f.cut" && mv "$f.cut" "$f" ;;
    directory) rm -f "$f" && mkdir "$f" && : >"$f/inside" ;;
    counts_high | counts_low)
      case "$1:$f" in
        counts_high:*.df)
          at=$(vertex_count_at "$f")
          put16 "$f" $((at + 2 + 12 * $(get16 "$f" "$at"))) 32767 ;;
        counts_low:*.df) put16 "$f" "$(vertex_count_at "$f")" -1 ;;
        counts_high:*.hax) put16 "$f" 0 32767 ;;
        counts_low:*.hax) put16 "$f" 0 -32768 ;;
        counts_high:*.xm)
          for at in 64 66 72 76 78; do put16 "$f" $at 32767; done ;;
        counts_low:*.xm)
          put16 "$f" 64 -1 && put16 "$f" 72 -1 && put16 "$f" 76 0 && put16 "$f" 78 0 ;;
        counts_high:*.raw) cat "$f" "$f" >"$f.long" && mv "$f.long" "$f" ;;
      esac ;;
    *) echo "fault_runs.sh: unknown case $1" >&2; exit 2 ;;
  esac
}

if [ -n "$program" ]; then
  command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
  if [ "$wine" = yes ]; then
    harness_wine "$work/wineprefix"
    harness_prefix
  fi
  harness_xvfb 1024x768x24
fi
absolute() { case "$1" in /* | "") echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
program=$(absolute "$program") capture=$(absolute "$capture") data=$(absolute "$data")

for case_name in "$@"; do
  dir="$work/$case_name"
  mkdir -p "$dir"
  expected=""
  for name in $files; do
    [ -f "$data/$name" ] || { expected="$expected$(shown_name "$name")|"; continue; }
    cp "$data/$name" "$dir/$name"
    break_file "$case_name" "$dir/$name"
    case "$case_name:$name" in
      missing:*.xm | directory:*.xm) ;;  # the player reports nothing
      missing:* | directory:*) expected="$expected$(shown_name "$name")|" ;;
    esac
  done
  # Files the build did not make are missing in every case; the module is the
  # only optional one, and it prints nothing.
  expected=$(echo "$expected" | tr '|' '\n' | grep -v '^quenvar2.xm$' | grep -v '^$' | sed 's/^/error opening file : /')

  start=$(date +%s)
  if [ -n "$capture" ]; then
    (cd "$dir" && "$capture" --data "$dir" --dt "$dt" --bench) >"$dir.out" 2>"$dir.err" </dev/null
    status=$?
  elif [ "$wine" = yes ]; then
    (cd "$dir" && timeout -k 5 150 "$WINE" "$program") >"$dir.out" 2>"$dir.err" </dev/null
    status=$?
    "$WINESERVER" -k 2>/dev/null
  else
    cp "$program" "$dir/"
    (cd "$dir" && HOME=$dir SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy timeout -k 5 150 "./${program##*/}") \
      >"$dir.out" 2>"$dir.err" </dev/null
    status=$?
  fi
  seconds=$(($(date +%s) - start))
  tr -d '\r' <"$dir.out" >"$dir.lines"
  errors=$(grep '^error opening file : ' "$dir.lines")

  problem=""
  if [ -n "$capture" ] && [ "$case_name" = missing ]; then
    [ "$status" -eq 1 ] && grep -q "no data files in $dir " "$dir.err" ||
      problem="without any data file: exit code $status"
  elif [ "$status" -ne 0 ]; then
    problem="exit code $status"
  elif [ "$errors" != "$expected" ]; then
    problem="the open errors read [$(echo "$errors" | tr '\n' ';')], not [$(echo "$expected" | tr '\n' ';')]"
  elif [ -n "$capture" ] && ! grep -q '^whole run: ' "$dir.lines"; then
    problem="the capture did not reach the end of the sequence"
  elif [ -n "$program" ] && [ "$seconds" -lt 80 ]; then
    problem="it ended after $seconds s, before the end of the sequence"
  fi
  if [ -n "$problem" ]; then
    fail "$case_name: $problem; stderr: $(tr -d '\r' <"$dir.err" | head -c 1500)"
  elif [ -n "$capture" ] && [ "$case_name" = missing ]; then
    say "$case_name: refused to run without data, exit code 1"
  else
    say "$case_name: ran to the end in $seconds s, exit code 0, $(echo "$errors" | grep -c .) open errors"
  fi
done

if [ "$failures" -gt 0 ]; then
  echo "$failures of $# cases failed"
  exit 1
fi
echo "all $# cases passed"
