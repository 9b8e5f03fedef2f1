#!/bin/sh
# The music in the demo, end to end. Runs one demo program twice in a private
# Xvfb screen, from a folder holding the data files:
#  1. with its own "quenvar2.xm" (from the program's folder) or, until the
#     build makes one, with MODULE, and the sound captured to a file
#     (Windows programs: Wine's ALSA output into the ALSA file plugin; SDL
#     programs: SDL's disk audio driver). After a few seconds Escape must end
#     it with exit code 0, and the capture must be, bit for bit, the start of
#     what XM2WAV renders from the same module: more than one ring of audio,
#     so the audio thread's refills are in it;
#  2. with no module: the program must run and end the same way, write the
#     same standard output, and open no audio device;
#  3. with the module but no audio device to be had: the same again.
#
#   run_audio.sh --program PATH [--wine] --xm2wav PATH --module FILE.xm
#                --tools DIR [--artifacts DIR]
#
# --wine      run PATH and XM2WAV (Windows programs) through Wine; WINE and
#             WINESERVER name the commands, WINEPREFIX the prefix
# --tools     folder of compare_pcm
#
# Exit codes: 0 passed, 1 failed, 77 skipped (the program or Wine is missing).
set -u

program="" wine=no xm2wav="" module="" tools="" artifacts=""
while [ $# -gt 0 ]; do
  case "$1" in
    --program) program=$2; shift 2 ;;
    --wine) wine=yes; shift ;;
    --xm2wav) xm2wav=$2; shift 2 ;;
    --module) module=$2; shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    --artifacts) artifacts=$2; shift 2 ;;
    *) echo "run_audio.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
here=$(cd "$(dirname "$0")" && pwd)
name=$(basename "$program")
bin=$(cd "$(dirname "$program")" 2>/dev/null && pwd)
[ -x "$tools/compare_pcm" ] || { echo "run_audio.sh: $tools/compare_pcm is not built" >&2; exit 2; }
[ -f "$module" ] || { echo "run_audio.sh: no module $module" >&2; exit 2; }

say() { echo "[$(date +%T.%N | cut -c1-12)] $*"; }
fail() {
  say "FAIL: $*"
  if [ -n "$artifacts" ] && [ -d "${work:-}" ]; then
    mkdir -p "$artifacts"
    cp "$work"/*.log "$work"/*.raw "$artifacts"/ 2>/dev/null
    say "output kept in $artifacts"
  fi
  exit 1
}
skip() { echo "SKIP: $*"; exit 77; }

[ -f "$program" ] || skip "$program is not built"
[ -f "$xm2wav" ] || skip "$xm2wav is not built"
. "$here/harness.sh"
[ "$wine" = yes ] && harness_wine "$(cd "$bin/.." && pwd)/wineprefix"

work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-audio-$name.XXXXXX")
xvfb_pid="" demo_pid=""
trap harness_cleanup EXIT
trap 'exit 1' INT TERM HUP

# The prefix's server is restarted: one left from another run would not see
# this run's audio settings.
[ "$wine" = yes ] && harness_prefix
harness_xvfb 1024x768x24

minFrames=132300
key() {
  xdotool keydown "$1"
  sleep 0.05
  xdotool keyup "$1"
}

# start_once LABEL: starts the program in $work/LABEL, its sound going to
# $work/LABEL.raw.
start_once() {
  label=$1
  capture="$work/$label.raw"
  rm -f "$capture"
  (
    cd "$work/$label" || exit 2
    # No device: an ALSA configuration without a default device, or an SDL
    # audio driver that does not exist.
    alsa="$here/alsa-capture.conf" sdl_audio=disk
    [ "$label" = nodevice ] && alsa=/dev/null sdl_audio=none
    if [ "$wine" = yes ]; then
      ALSA_CONFIG_PATH="$alsa" AUDIO_CAPTURE_FILE="$capture" \
        exec timeout -k 5 180 "$WINE" "$program" >"$work/$label-stdout.log" 2>"$work/$label-stderr.log" </dev/null
    else
      HOME=$work SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=$sdl_audio SDL_DISKAUDIOFILE="$capture" \
        exec timeout -k 5 180 "$program" >"$work/$label-stdout.log" 2>"$work/$label-stderr.log" </dev/null
    fi
  ) &
  demo_pid=$!
}

# run_once LABEL: runs the program in $work/LABEL for a few seconds, ends it
# with Escape and expects exit code 0. The sound goes to $work/LABEL.raw.
run_once() {
  label=$1
  start_once "$label"
  window=$(harness_find_window Demo "$work/$label-stderr.log")
  if [ -z "$window" ] && harness_setup_refused "$work/$label-stderr.log"; then
    say "$label: set-up refused, trying once more; stderr: $(head -c 600 "$work/$label-stderr.log")"
    kill "$demo_pid" 2>/dev/null
    wait "$demo_pid" 2>/dev/null
    [ "$wine" = yes ] && harness_end_server
    start_once "$label"
    window=$(harness_find_window Demo "$work/$label-stderr.log")
  fi
  [ -n "$window" ] || fail "$label: no visible window titled Demo; stderr: $(head -c 600 "$work/$label-stderr.log")"
  say "$label: window $window is up"
  # Runs until it has played half as much again as the ring holds (three
  # seconds, so refilled blocks are heard), or for a few seconds without a
  # module. The wait for the sound is on the wall clock and long: a busy
  # machine delays the program's start and its device.
  started=$(date +%s)
  while [ "$(date +%s)" -le $((started + 120)) ]; do
    [ "$(stat -c %s "$capture" 2>/dev/null || echo 0)" -ge $((minFrames * 4)) ] && break
    [ "$label" != music ] && [ "$(date +%s)" -ge $((started + 4)) ] && break
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$demo_pid" 2>/dev/null || fail "$label: $name ended by itself"
  window=$(xdotool search --onlyvisible --name '^Demo$' 2>/dev/null | head -n 1)
  timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null || fail "$label: cannot focus the window"
  # A key that the X server did not take (xdotool sometimes fails to
  # connect) is sent again.
  for attempt in 1 2 3; do
    key Escape
    for _ in $(seq 100); do
      kill -0 "$demo_pid" 2>/dev/null || break 2
      sleep 0.05
    done
  done
  kill -0 "$demo_pid" 2>/dev/null && fail "$label: $name still runs 15 s after the first Escape"
  wait "$demo_pid"
  status=$?
  demo_pid=""
  [ "$status" -eq 0 ] || fail "$label: $name exited with $status; stderr: $(head -c 300 "$work/$label-stderr.log")"
  say "$label: $name exited with 0 after Escape"
}

for label in music silent nodevice; do
  mkdir -p "$work/$label"
  for data in "$bin"/*.df "$bin"/*.hax "$bin"/*.raw; do
    cp "$data" "$work/$label/"
  done
done
# The demo's own module, once the build makes it, else the one given.
[ -f "$bin/quenvar2.xm" ] && module="$bin/quenvar2.xm"
say "module: $module"
cp "$module" "$work/music/quenvar2.xm"
cp "$module" "$work/nodevice/quenvar2.xm"

run_once music
[ -s "$work/music.raw" ] || fail "music: no sound was captured"
frames=$(($(stat -c %s "$work/music.raw") / 4))
say "music: $frames frames captured"
# The reference covers the capture: one second more than it holds.
seconds=$((frames / 44100 + 2))
if [ "$wine" = yes ]; then
  (cd "$work" && "$WINE" "$xm2wav" "$module" reference.wav --seconds "$seconds" >"$work/xm2wav.log" 2>&1 </dev/null)
else
  "$xm2wav" "$module" "$work/reference.wav" --seconds "$seconds" >"$work/xm2wav.log" 2>&1
fi
[ -s "$work/reference.wav" ] || fail "xm2wav wrote no reference: $(head -c 300 "$work/xm2wav.log")"
result=$("$tools/compare_pcm" "$work/music.raw" "$work/reference.wav" "$minFrames") || fail "music: $result"
say "music: $result"

run_once silent
[ -e "$work/silent.raw" ] && fail "silent: an audio device was opened without a module"
tr -d '\r' <"$work/music-stdout.log" >"$work/music-stdout.txt"
tr -d '\r' <"$work/silent-stdout.log" >"$work/silent-stdout.txt"
cmp -s "$work/music-stdout.txt" "$work/silent-stdout.txt" ||
  fail "silent: the standard output differs from the run with music: $(diff "$work/music-stdout.txt" "$work/silent-stdout.txt" | head -n 5)"
say "silent: same output, no sound, exit code 0"

run_once nodevice
[ -e "$work/nodevice.raw" ] && fail "nodevice: sound was captured"
tr -d '\r' <"$work/nodevice-stdout.log" >"$work/nodevice-stdout.txt"
cmp -s "$work/music-stdout.txt" "$work/nodevice-stdout.txt" ||
  fail "nodevice: the standard output differs from the run with music"
say "nodevice: same output, no sound, exit code 0"
