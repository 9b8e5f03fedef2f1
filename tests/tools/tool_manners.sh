#!/bin/sh
# The programs' command-line manners and their interrupted runs:
# - xm2wav, demo_capture, demo and demo_windowed: --help on standard output
#   with status 0, --version, an unknown option named with status 2;
# - demo_capture finds its data beside itself from any folder, says where it
#   looked when there is none (status 1), makes its --out folder and refuses
#   a file in its place;
# - SIGINT or SIGTERM during xm2wav, demo_capture --all and --video: status
#   130, no temporary left, no half-written output, no ffmpeg left running.
# - demo_windowed without its music file, or (on a machine with no sound
#   card) without a sound device, says so in one "no music: " line, with none
#   of ALSA's probing noise (needs Xvfb; left out without it).
#   tool_manners.sh BIN_DIR
set -u
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/manners.XXXXXX")
pid="" xvfb_pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() {  # expected status, program, arguments...: status and output in out.txt, err.txt
  want=$1
  shift
  status=0
  "$@" >out.txt 2>err.txt </dev/null || status=$?
  [ "$status" -eq "$want" ] || fail "$*: status $status, not $want; $(head -c 400 err.txt)"
}
# Sends SIGNAL to the background program and waits for it: its status in
# `status`.
interrupt() {
  kill "-$1" "$pid"
  status=0
  wait "$pid" || status=$?
  pid=""
}
# Waits (up to 60 s) until the shell condition holds.
wait_for() {
  i=0
  until eval "$1"; do
    i=$((i + 1))
    [ "$i" -le 600 ] || { fail "timed out waiting for: $1"; return 1; }
    sleep 0.1
  done
}
png_ok() { [ "$(od -An -tx1 -N 8 "$1" | tr -d ' ')" = 89504e470d0a1a0a ] && tail -c 8 "$1" | grep -q IEND; }

for program in xm2wav demo_capture demo demo_windowed; do
  run 0 "$bin/$program" --help
  grep -q "^usage: $program" out.txt || fail "$program --help: no usage on standard output"
  [ -s err.txt ] && fail "$program --help wrote to standard error: $(cat err.txt)"
  run 0 "$bin/$program" --version
  grep -qx "$program [0-9][0-9.]*" out.txt || fail "$program --version printed: $(cat out.txt)"
  run 2 "$bin/$program" --frobnicate
  grep -q -- "--frobnicate" err.txt || fail "$program: the unknown option is not named: $(cat err.txt)"
done
for dt in 0 0.00009 10.5; do
  run 2 "$bin/demo_capture" --dt "$dt" --bench
  grep -q -- "--dt" err.txt || fail "--dt $dt: not named in $(cat err.txt)"
done

# From a folder without data: the data beside the program, a real frame
# (the mask alone makes the PNG far larger than a blank one), and the
# --out folder made on the way.
run 0 "$bin/demo_capture" -q --at 3 --out made/here
png_ok made/here/frame-3.000.png && [ "$(wc -c <made/here/frame-3.000.png)" -gt 5000 ] ||
  fail "a frame captured away from the data is blank or missing"
[ -s out.txt ] && fail "-q still printed: $(head -c 200 out.txt)"
: >a-file
run 1 "$bin/demo_capture" --at 3 --out a-file
grep -q "is a file, not a folder" err.txt || fail "--out naming a file: $(cat err.txt)"
# A copy of the program in an empty folder finds no data anywhere.
mkdir alone && cp "$bin/demo_capture" alone/
cd alone
run 1 ./demo_capture --at 3
cd ..
grep -qF "no data files in $work/alone" alone/err.txt || fail "no data: $(cat alone/err.txt)"
[ -e alone/frame-3.000.png ] && fail "a frame was written without data"
run 1 "$bin/demo_capture" --data alone --bench
grep -q "no data files in alone" err.txt || fail "--data without data: $(cat err.txt)"

# Interrupted xm2wav: the temporary goes, no WAV is left.
"$bin/xm2wav" "$bin/quenvar2.xm" long.wav --seconds 3000 2>/dev/null &
pid=$!
wait_for '[ -s long.wav.part ]'
interrupt INT
[ "$status" -eq 130 ] || fail "interrupted xm2wav: status $status, not 130"
[ -e long.wav.part ] || [ -e long.wav ] && fail "interrupted xm2wav left $(ls long.wav*)"

# Interrupted --all: every PNG left is whole, no temporary.
mkdir all
"$bin/demo_capture" -q --all --dt 0.05 --out all 2>/dev/null &
pid=$!
wait_for '[ -e all/frame-00020.png ]'
interrupt INT
[ "$status" -eq 130 ] || fail "interrupted --all: status $status, not 130"
[ -z "$(ls all | grep -v '^frame-[0-9]*\.png$')" ] || fail "interrupted --all left $(ls all | grep -v '\.png$')"
for file in all/*.png; do png_ok "$file" || fail "interrupted --all left a broken $file"; done

# Interrupted --video: ffmpeg is stopped, neither video nor sound track left.
"$bin/demo_capture" -q --video clip.mp4 2>/dev/null &
pid=$!
wait_for '[ -n "$(pgrep -P "$pid" -x ffmpeg)" ] && [ -s clip.part.mp4 ]'
encoder=$(pgrep -P "$pid" -x ffmpeg)
interrupt TERM
[ "$status" -eq 130 ] || fail "interrupted --video: status $status, not 130"
[ -n "$encoder" ] && kill -0 "$encoder" 2>/dev/null && fail "ffmpeg ($encoder) still runs after the interrupt"
leftovers=$(ls | grep clip)
[ -z "$leftovers" ] || fail "interrupted --video left $leftovers"

# Silence explained, in a private X screen.
# silent_run FOLDER PROGRAM [ENVIRONMENT...]: runs it until it has written to
# standard error (up to 60 s), then ends it; its stderr is in FOLDER/err.txt.
silent_run() {
  folder=$1 program=$2
  shift 2
  (cd "$folder" && exec env "$@" "$program") >"$folder/out.txt" 2>"$folder/err.txt" </dev/null &
  pid=$!
  wait_for "[ -s '$folder/err.txt' ] || ! kill -0 $pid 2>/dev/null"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=""
}
if command -v Xvfb >/dev/null && command -v xwininfo >/dev/null; then
  wine=no
  say() { echo "$*"; }
  skip() { echo "SKIP: $*"; exit 77; }
  . "$here/../e2e/harness.sh"
  harness_xvfb 800x600x24
  mkdir nomusic
  for file in lu09.df fernoth.df model.hax mask.raw part.raw bolinde.df wex.df talmek.df; do
    ln -s "$bin/$file" nomusic/
  done
  cp "$bin/demo_windowed" nomusic/
  silent_run nomusic ./demo_windowed HOME="$work" SDL_AUDIODRIVER=dummy
  [ "$(cat nomusic/err.txt)" = "no music: quenvar2.xm is not in $work/nomusic; the demo runs in silence" ] ||
    fail "without quenvar2.xm, standard error reads: $(cat nomusic/err.txt)"
  if [ ! -e /dev/snd ]; then
    mkdir nodevice
    silent_run nodevice "$bin/demo_windowed" -u SDL_AUDIODRIVER HOME="$work"
    [ "$(wc -l <nodevice/err.txt)" -eq 1 ] && grep -q '^no music: no sound device' nodevice/err.txt ||
      fail "without a sound card, standard error reads: $(cat nodevice/err.txt)"
  fi
else
  echo "note: Xvfb is not installed; the silent runs are left out"
fi

[ "$failures" -eq 0 ] || exit 1
echo "passed"
