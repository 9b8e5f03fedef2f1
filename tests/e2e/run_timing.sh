#!/bin/sh
# Real time as a viewer meets it. Starts one demo program in a private Xvfb
# screen as a person would, its music going to a private PulseAudio server
# whose null sink plays at the pace of the wall clock, and with DEMO_TIMING
# set so that it describes every frame on its standard error (the timer
# reading that ended it, its duration, the clock, the music played by then).
# Space is pressed twice, MEASURE seconds apart, at wall times the script
# notes; then Escape ends the run, which must exit with code 0. Checked:
#  - clock: the clock lines that Space printed advance with the wall, within 2%;
#  - music: the clock minus the music heard is under 150 ms at the start of
#    the run and moves by less than 40 ms between the two presses;
#  - frames (--frames): between the presses the frame durations' median is
#    within 10% of the display period the program reports, and under 1% of
#    them exceed twice that period;
#  - CPU (--cpu PERCENT): the program's own CPU time (from /proc) between the
#    presses is at most PERCENT of one core.
#
#   run_timing.sh --program PATH [--wine] [--screen WxHxDEPTH] [--measure SECONDS]
#                 [--frames] [--cpu PERCENT] --tools DIR [--artifacts DIR]
#
# Exit codes: 0 passed, 1 failed, 77 skipped (the program, Wine or
# PulseAudio is missing).
set -u

program="" wine=no screen=1024x768x24 measure=10 frames=no cpu="" tools="" artifacts=""
while [ $# -gt 0 ]; do
  case "$1" in
    --program) program=$2; shift 2 ;;
    --wine) wine=yes; shift ;;
    --screen) screen=$2; shift 2 ;;
    --measure) measure=$2; shift 2 ;;
    --frames) frames=yes; shift ;;
    --cpu) cpu=$2; shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    --artifacts) artifacts=$2; shift 2 ;;
    *) echo "run_timing.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
here=$(cd "$(dirname "$0")" && pwd)
name=$(basename "$program")

say() { echo "[$(date +%T.%N | cut -c1-12)] $*"; }
fail() {
  say "FAIL: $*"
  if [ -n "$artifacts" ] && [ -d "${work:-}" ]; then
    mkdir -p "$artifacts"
    cp "$work"/*.log "$artifacts"/ 2>/dev/null
    say "output kept in $artifacts"
  fi
  exit 1
}
skip() { echo "SKIP: $*"; exit 77; }

[ -f "$program" ] || skip "$program is not built"
command -v pulseaudio >/dev/null && command -v pactl >/dev/null ||
  skip "PulseAudio (pulseaudio, pactl) is not installed: no audio device that plays in real time"
. "$here/harness.sh"
[ "$wine" = yes ] && harness_wine "$(cd "$(dirname "$program")/.." && pwd)/wineprefix"

work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-timing-$name.XXXXXX")
xvfb_pid="" demo_pid="" pulse_pid=""
cleanup() {
  harness_cleanup_pulse
  harness_cleanup
}
harness_cleanup_pulse() {
  [ -n "${demo_pid:-}" ] && kill "$demo_pid" 2>/dev/null
  [ -n "${demo_pid:-}" ] && wait "$demo_pid" 2>/dev/null
  demo_pid=""
  [ "$wine" = yes ] && [ -n "${WINESERVER:-}" ] && harness_end_server
  if [ -n "$pulse_pid" ]; then
    kill "$pulse_pid" 2>/dev/null
    wait "$pulse_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# A PulseAudio server of this run's own, reached only through its socket: a
# null sink at the demo's format, which takes the sound at the pace of the
# wall clock as a sound card would.
mkdir -p -m 700 "$work/run"
export PULSE_SERVER="unix:$work/run/native" PULSE_RUNTIME_PATH="$work/run" XDG_RUNTIME_DIR="$work/run"
HOME=$work pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$work/run/native" \
  -L "module-null-sink sink_name=sink rate=44100 format=s16le channels=2" >"$work/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 200); do
  pactl info >/dev/null 2>&1 && break
  kill -0 "$pulse_pid" 2>/dev/null || fail "PulseAudio did not start: $(tail -c 300 "$work/pulse.log")"
  sleep 0.05
done
pactl info >/dev/null 2>&1 || fail "PulseAudio answers no client"

[ "$wine" = yes ] && harness_prefix
harness_xvfb "$screen"
say "Xvfb $screen on $DISPLAY, PulseAudio null sink"

cd "$(dirname "$program")" || fail "no folder for $program"
start_program() {
  # Both programs ask PulseAudio for buffers so short (about 10 ms) that
  # on a busy machine a feeding thread late by a few tens of milliseconds
  # leaves the sink without sound, and the played position stalls for good:
  # the 100 ms of a desktop's usual buffering keep the device playing. The
  # played positions then run up to that far ahead of what is heard.
  if [ "$wine" = yes ]; then
    # Wine's PulseAudio driver (the prefix's server was restarted above, so
    # it reads this environment).
    PULSE_LATENCY_MSEC=100 DEMO_TIMING=1 timeout -k 5 60 "$WINE" "./$name" >"$work/stdout.log" 2>"$work/stderr.log" </dev/null &
  else
    HOME=$work PULSE_LATENCY_MSEC=100 DEMO_TIMING=1 SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=pulseaudio timeout -k 5 60 "./$name" \
      >"$work/stdout.log" 2>"$work/stderr.log" </dev/null &
  fi
  demo_pid=$!
}
start_program
window=$(harness_find_window Demo "$work/stderr.log")
if [ -z "$window" ] && harness_setup_refused "$work/stderr.log"; then
  say "set-up refused, trying once more; stderr: $(head -c 600 "$work/stderr.log")"
  kill "$demo_pid" 2>/dev/null
  wait "$demo_pid" 2>/dev/null
  [ "$wine" = yes ] && harness_end_server
  start_program
  window=$(harness_find_window Demo "$work/stderr.log")
fi
[ -n "$window" ] || fail "no visible window titled Demo; stderr: $(head -c 600 "$work/stderr.log")"
say "window $window titled Demo is visible"

# The process whose CPU time counts: the program itself, the child of
# `timeout` (the Wine loader becomes the Windows program in its own process).
pid=""
for _ in $(seq 100); do
  pid=$(pgrep -P "$demo_pid" | head -n 1)
  [ -n "$pid" ] && break
  sleep 0.05
done
[ -n "$pid" ] || fail "cannot find the process of $name"
say "process $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline")"

# The measurement starts once the program has settled into its loop, 5 s
# on its clock: on a busy machine a sound server and Wine take a moment to
# start streaming (the start itself is checked on the first frames).
settled=no
for _ in $(seq 400); do
  tr -d '\r' <"$work/stderr.log" | awk '$1 == "frame" && $4 >= 5 {found = 1} END {exit !found}' && settled=yes && break
  kill -0 "$demo_pid" 2>/dev/null || fail "$name ended early; stderr: $(head -c 600 "$work/stderr.log")"
  sleep 0.05
done
[ "$settled" = yes ] || fail "the clock did not reach 5 s within 20 s"

key() {
  xdotool keydown "$1"
  sleep 0.04
  xdotool keyup "$1"
}
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
# press LABEL: Space at a noted wall time (the middle of the key's press);
# waits for the clock line it prints and notes the CPU ticks used so far. A
# key that xdotool could not send (it sometimes fails to connect) is sent
# again, at a new noted time.
press() {
  line=""
  for attempt in 1 2 3; do
    before=$(wc -l <"$work/stdout.log")
    t0=$(date +%s.%N)
    key space
    t1=$(date +%s.%N)
    eval "wall_$1=\$(echo \"$t0 $t1\" | awk '{printf \"%.4f\", (\$1 + \$2) / 2}')"
    eval "cpu_$1=\$(ticks)"
    for _ in $(seq 40); do
      line=$(tail -n +"$((before + 1))" "$work/stdout.log" | tr -d '\r' | grep -E -m 1 '^[0-9]+(\.[0-9]+)?(e[-+]?[0-9]+)?$')
      [ -n "$line" ] && break 2
      sleep 0.05
    done
  done
  [ -n "$line" ] || fail "Space printed no clock line"
  eval "clock_$1=$line"
}
timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null || fail "cannot focus the window"
press first
sleep "$measure"
press second
say "Space: clock $clock_first at wall $wall_first, clock $clock_second at wall $wall_second"

for attempt in 1 2 3; do
  key Escape
  for _ in $(seq 100); do
    kill -0 "$demo_pid" 2>/dev/null || break 2
    sleep 0.05
  done
done
kill -0 "$demo_pid" 2>/dev/null && fail "$name still runs 15 s after Escape"
wait "$demo_pid"
status=$?
demo_pid=""
[ "$status" -eq 0 ] || fail "$name exited with $status; stderr: $(head -c 300 "$work/stderr.log")"

tr -d '\r' <"$work/stderr.log" >"$work/timing.log"
hertz=$(getconf CLK_TCK)
report=$(awk -v c0="$clock_first" -v c1="$clock_second" -v w0="$wall_first" -v w1="$wall_second" \
  -v k0="$cpu_first" -v k1="$cpu_second" -v hz="$hertz" -v frames="$frames" -v cpu="$cpu" '
  function sort(a, n,   i, j, t) { for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j > 0 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t } }
  function median(a, n) { sort(a, n); return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  /^timing display: / { rate = $3 }
  $1 == "frame" {
    clock = $4
    # The clock minus the music heard, in ms (16-bit stereo: 176.4 bytes a ms).
    if ($5 != "-") {
      offset = clock * 1000 - $5 / 176.4
      # The start: the first half second of frames with the music playing.
      if (first == "") first = clock
      if (clock < first + 0.5) start[++ns] = offset
      if (clock >= c0 && clock < c0 + 1) early[++ne] = offset
      if (clock > c1 - 1 && clock <= c1) late[++nl] = offset
    }
    if (clock > c0 && clock <= c1) durations[++nd] = $3
  }
  END {
    bad = ""
    speed = (c1 - c0) / (w1 - w0)
    printf "clock: %.3f s over %.3f s of wall time, %.2f%%\n", c1 - c0, w1 - w0, speed * 100
    if (speed < 0.98 || speed > 1.02) bad = bad " clock"
    if (ns == 0 || ne == 0 || nl == 0) { print "music: no played position in the timing lines"; bad = bad " music" }
    else {
      s = median(start, ns); drift = median(late, nl) - median(early, ne)
      printf "music: clock minus music %.1f ms at the start, moved %.1f ms over the measure\n", s, drift
      if (s < -150 || s > 150 || drift <= -40 || drift >= 40) bad = bad " music"
    }
    if (frames == "yes") {
      period = 1000 / (rate > 0 ? rate : 60)
      long = 0
      for (i = 1; i <= nd; i++) if (durations[i] > 2 * period) long++
      m = median(durations, nd)
      printf "frames: %d, median %.1f ms against a period of %.2f ms, %d (%.2f%%) over twice the period\n", nd, m, period, long, 100 * long / nd
      if (m < 0.9 * period || m > 1.1 * period || long >= 0.01 * nd) bad = bad " frames"
    } else if (nd > 0) {
      printf "frames: %d, median %.1f ms\n", nd, median(durations, nd)
    }
    used = (k1 - k0) / hz / (w1 - w0) * 100
    printf "cpu: %.1f%% of one core\n", used
    if (cpu != "" && used > cpu + 0) bad = bad " cpu"
    if (bad != "") print "out of bounds:" bad
  }' "$work/timing.log")
echo "$report"
echo "$report" | grep -q '^out of bounds:' && fail "$(echo "$report" | grep '^out of bounds:')"
say "$name keeps time"
exit 0
