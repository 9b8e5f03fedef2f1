#!/bin/sh
# Runs one demo program in a private Xvfb screen the way a person would:
# waits for its window, checks that the picture shows the first scene (by its
# properties, see check_frame.cpp), holds Space and expects a clock line on
# the standard output, then ends the run with Escape or by closing the window
# and expects exit code 0 - or lets the whole sequence play to its end.
#
#   run_demo.sh --program PATH [--wine] --screen WxHxDEPTH [--bits R,G,B]
#               [--fullscreen] [--wm] [--quit escape|close|natural] [--fatal TEXT]
#               --tools DIR [--artifacts DIR]
#
# --wine        run PATH (a Windows program) through Wine; WINE and
#               WINESERVER name the commands, WINEPREFIX the prefix (default:
#               a "wineprefix" folder beside the program's folder), made on
#               first use
# --fullscreen  the picture must fill the screen: on a 640 x 480 screen
#               exactly, on a larger one at the largest whole-number scale
#               that fits, centred, every picture pixel one square of screen
#               pixels, black around; otherwise it must appear inside the window
# --wm          an openbox window manager runs on the screen
# --bits        compare only the top bits of each channel (5,6,5 on 16 bits)
# --quit natural  no keys: the run must end by itself with exit code 0 about
#               89 s after its first frame
# --fatal TEXT  the program cannot run on this screen: it must show a message
#               box titled "Error", write TEXT to its standard error and,
#               once the box is answered, exit with -1
# --tools       folder of check_frame and x11_tool
# --artifacts   where a failed run leaves its screenshot and output
#
# Exit codes: 0 passed, 1 failed, 77 skipped (the program or Wine is missing).
set -u

program="" wine=no screen="" bits=8,8,8 fullscreen=no wm=no quit=escape fatal="" tools="" artifacts=""
while [ $# -gt 0 ]; do
  case "$1" in
    --program) program=$2; shift 2 ;;
    --wine) wine=yes; shift ;;
    --screen) screen=$2; shift 2 ;;
    --bits) bits=$2; shift 2 ;;
    --fullscreen) fullscreen=yes; shift ;;
    --wm) wm=yes; shift ;;
    --quit) quit=$2; shift 2 ;;
    --fatal) fatal=$2; shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    --artifacts) artifacts=$2; shift 2 ;;
    *) echo "run_demo.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
name=$(basename "$program")
absolute() { case "$1" in /*) echo "$1" ;; "") ;; *) echo "$PWD/$1" ;; esac; }
program=$(absolute "$program") tools=$(absolute "$tools")
artifacts=$(absolute "$artifacts")
for tool in "$tools/check_frame" "$tools/x11_tool"; do
  [ -x "$tool" ] || { echo "run_demo.sh: $tool is not built" >&2; exit 2; }
done

say() { echo "[$(date +%T.%N | cut -c1-12)] $*"; }
fail() {
  say "FAIL: $*"
  if [ -n "$artifacts" ] && [ -d "${work:-}" ]; then
    mkdir -p "$artifacts"
    cp "$work"/*.ppm "$work"/*.log "$artifacts"/ 2>/dev/null
    [ -n "${DISPLAY:-}" ] && xwininfo -root -tree >"$artifacts/windows.txt" 2>&1
    say "screenshot and output kept in $artifacts"
  fi
  exit 1
}
skip() { echo "SKIP: $*"; exit 77; }

if [ ! -x "$program" ] && [ ! -f "$program" ]; then
  skip "$program is not built"
fi

. "$(dirname "$0")/harness.sh"
[ "$wine" = yes ] && harness_wine "$(cd "$(dirname "$program")/.." && pwd)/wineprefix"

work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-$name.XXXXXX")
xvfb_pid="" demo_pid=""
wm_pid=""
trap '[ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null; harness_cleanup' EXIT
trap 'exit 1' INT TERM HUP

[ "$wine" = yes ] && harness_prefix
harness_xvfb "$screen"
say "Xvfb $screen on $DISPLAY"
if [ "$wm" = yes ]; then
  command -v openbox >/dev/null || skip "openbox is not installed"
  HOME=$work openbox >"$work/openbox.log" 2>&1 &
  wm_pid=$!
  # Up once it has claimed the screen's window manager selection.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
  done
  say "openbox runs"
fi

# The whole sequence lasts about 89 s; anything else ends in seconds.
limit=60
[ "$quit" = natural ] && limit=150

# The demo runs in its own folder, where its data files are.
cd "$(dirname "$program")" || fail "no folder for $program"
start_program() {
  if [ "$wine" = yes ]; then
    timeout -k 5 "$limit" "$WINE" "./$name" >"$work/stdout.log" 2>"$work/stderr.log" </dev/null &
  else
    # x11 explicitly: SDL would otherwise fall back to an invisible offscreen
    # driver when it cannot reach the X server, and the test would only time out.
    HOME=$work SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy timeout -k 5 "$limit" "./$name" >"$work/stdout.log" \
      2>"$work/stderr.log" </dev/null &
  fi
  demo_pid=$!
  say "started $name"
}
start_program

key() {
  xdotool keydown "$1"
  sleep 0.05
  xdotool keyup "$1"
}

# Waits up to $1 seconds for the program to end by itself; false if it still
# runs, otherwise its exit status is in `status` (set once, when it ended).
await_end() {
  [ -z "$demo_pid" ] && return 0
  for _ in $(seq $(($1 * 10))); do
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$demo_pid" 2>/dev/null && return 1
  wait "$demo_pid"
  status=$?
  demo_pid=""
}

# Waits for the program to end by itself and checks its exit status.
expect_exit() {
  await_end 15 || fail "$name still runs 15 s after $2"
  [ "$status" -eq "$1" ] || fail "$name exited with $status, not $1; stderr: $(head -c 300 "$work/stderr.log")"
  say "$name exited with $1"
}

if [ -n "$fatal" ]; then
  box=$(harness_find_window Error) || fail "no message box titled Error appeared"
  say "message box $box is visible"
  # Windows programs end their lines with CR LF.
  tr -d '\r' <"$work/stderr.log" | grep -qxF "$fatal" ||
    fail "the error is not '$fatal'; stderr: $(tr -d '\r' <"$work/stderr.log" | head -c 300)"
  say "the error reads: $fatal"
  # On a loaded machine a box that has just appeared can miss the key: it is
  # answered again while it stays.
  for _ in 1 2 3; do
    sleep 0.3
    xdotool windowfocus --sync "$box" 2>/dev/null || fail "cannot focus the message box"
    key Return
    await_end 5 && break
    say "the message box is still open"
  done
  expect_exit 255 "the message box was answered"
  exit 0
fi

window=$(harness_find_window Demo "$work/stderr.log")
# Seen once each on a loaded machine: Wine refused the exclusive mode of a
# freshly started server ("Directdraw NOT able to set Cooperative Level"), and
# SDL found "x11 not available" on a screen that answered a moment later.
# Wine's own errors for DirectDraw come with the output.
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

# The first frames take a moment to reach the screen; keys sent right after
# the window maps can be lost, so the picture is awaited first.
shot_of=$window
check="$tools/check_frame --bits $bits"
if [ "$fullscreen" = yes ]; then
  shot_of=root
else
  check="$check --search"
fi
mask="$(dirname "$program")/mask.raw"
# Fullscreen on a screen larger than the picture: where it must sit.
width=${screen%%x*} height=${screen#*x}
height=${height%%x*}
scale=$((width / 640 < height / 480 ? width / 640 : height / 480))
[ "$scale" -lt 1 ] && scale=1
shown="$((640 * scale))x$((480 * scale))+$(((width - 640 * scale) / 2))+$(((height - 480 * scale) / 2))"
# check_shot: the picture in the shot ($work/shot.ppm) passes $check; a
# scaled fullscreen picture is first checked for its place, its square
# pixels and the black around it, then brought back to 640 x 480.
check_shot() {
  if [ "$fullscreen" != yes ] || [ "$scale$shown" = "1640x480+0+0" ]; then
    $check "$mask" "$work/shot.ppm"
    return
  fi
  convert "$work/shot.ppm" -crop "$shown" +repage "$work/shown.ppm" &&
    convert "$work/shown.ppm" -sample '640x480!' "$work/picture.ppm" &&
    convert "$work/picture.ppm" -sample "${shown%%+*}!" "$work/resampled.ppm" || {
    echo "the shot cannot be cut at $shown"
    return 1
  }
  differ=$(compare -metric AE "$work/shown.ppm" "$work/resampled.ppm" null: 2>&1)
  [ "$differ" = 0 ] || {
    echo "the picture at $shown is not made of $scale x $scale squares ($differ pixels differ)"
    return 1
  }
  area=$(echo "$shown" | awk -F'[x+]' '{printf "%d,%d %d,%d", $3, $4, $3 + $1 - 1, $4 + $2 - 1}')
  around=$(convert "$work/shot.ppm" -fill black -draw "rectangle $area" -format '%[fx:maxima]' info:)
  [ "$around" = 0 ] || {
    echo "the screen around the picture at $shown is not black"
    return 1
  }
  echo "at $shown, scale $scale, black around: $($check "$mask" "$work/picture.ppm")" && $check "$mask" "$work/picture.ppm" >/dev/null
}
result="" passed=no
# Wine on a busy machine can take many seconds to show its first frame.
deadline=$(($(date +%s) + 30))
while [ "$(date +%s)" -le "$deadline" ]; do
  if [ "$shot_of" = root ]; then
    root=$(xwininfo -root | awk '/Window id:/ {print $4}')
    "$tools/x11_tool" shot "$root" "$work/shot.ppm"
  else
    "$tools/x11_tool" shot "$window" "$work/shot.ppm"
  fi
  if result=$(check_shot); then
    passed=yes
    break
  fi
  result="${result:-the check failed}"
  kill -0 "$demo_pid" 2>/dev/null || fail "$name ended while showing its picture"
  sleep 0.1
done
say "picture: $result"
[ "$passed" = yes ] || fail "the window does not show the first scene"
first_frame=$(date +%s)

if [ "$quit" = natural ]; then
  await_end 140 || fail "$name still runs $(($(date +%s) - first_frame)) s after its first frame"
  seconds=$(($(date +%s) - first_frame))
  [ "$status" -eq 0 ] || fail "$name exited with $status after $seconds s; stderr: $(head -c 300 "$work/stderr.log")"
  # 58.5 s of single clock time and 61.5 s at double speed: 89 s of frames,
  # as the clock follows the wall. The first frame is taken once the picture
  # check passed, which under Wine on a busy machine can itself take seconds,
  # and the shutdown adds a moment. The bounds still catch a clock running at
  # the wrong rate; the exact clock arithmetic is for the unit tests, the
  # clock against the wall for run_timing.sh.
  [ "$seconds" -ge 80 ] && [ "$seconds" -le 100 ] || fail "the run lasted $seconds s, not about 89 s"
  say "$name ended by itself with 0 after $seconds s"
  exit 0
fi
sleep 0.3

# A window that is still settling into fullscreen can refuse the focus for a
# moment; try again for a few seconds before calling it a failure.
focus_window() {
  for _ in $(seq 20); do
    timeout 2 xdotool windowfocus --sync "$1" 2>/dev/null && return 0
    kill -0 "$demo_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# Look the window up again: a program may replace its first window while
# it sets up (SDL does when its renderer needs another kind of window).
window=$(harness_find_window Demo "$work/stderr.log") || fail "the window titled Demo went away"
focus_window "$window" || fail "cannot focus the window"
# Start-up writes its own lines (the meshes it reads); the clock lines are
# the ones that follow the key. Windows programs end lines with CR LF.
before=$(wc -l <"$work/stdout.log")
key space
clock=""
for _ in $(seq 100); do
  clock=$(tail -n +"$((before + 1))" "$work/stdout.log" | tr -d '\r' | grep -E -m 1 '^[0-9]+(\.[0-9]+)?(e[-+]?[0-9]+)?$')
  [ -n "$clock" ] && break
  sleep 0.05
done
[ -n "$clock" ] || fail "Space printed no clock line; output: $(head -c 300 "$work/stdout.log")"
say "Space printed the clock: $clock"

case "$quit" in
  escape) key Escape ;;
  close) "$tools/x11_tool" close "$window" || fail "cannot send WM_DELETE_WINDOW" ;;
  *) fail "unknown way to quit: $quit" ;;
esac
say "sent $quit"
expect_exit 0 "$quit"
