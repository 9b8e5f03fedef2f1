# The set-up the end-to-end scripts share: Wine's commands and prefix, a
# private Xvfb screen, and the clean-up of both. Sourced by a script that
# defines say, fail and skip and sets `wine` (yes or no) and `work` (its
# scratch folder) before calling these.

# harness_wine DEFAULT_PREFIX: names the Wine commands and the prefix (WINE,
# WINESERVER and WINEPREFIX from the environment win); skips the test when
# Wine cannot start here.
harness_wine() {
  WINE=${WINE:-wine}
  WINESERVER=${WINESERVER:-wineserver}
  # Wine's own errors for DirectDraw and Direct3D only: quiet in a good run,
  # the reason when the screen cannot be set up.
  export WINEDEBUG=-all,err+ddraw,err+d3d
  export WINEPREFIX="${WINEPREFIX:-$1}"
  # Wine's loader for 32-bit programs is itself a 32-bit Linux program.
  "$WINE" --version >/dev/null 2>&1 ||
    skip "Wine cannot start here ('$WINE --version' fails: this machine runs no 32-bit x86 programs, or Wine is missing)"
}

# harness_prefix: makes the prefix on first use (one test makes it, the others
# wait for it), then ends any server left from another run, which would still
# talk to that run's display and keep that run's environment.
harness_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    flock "$WINEPREFIX" sh -c '[ -f "$WINEPREFIX/system.reg" ] || { "$1" wineboot -i; "$2" -w; }' sh "$WINE" \
      "$WINESERVER" >/dev/null 2>&1 </dev/null
  fi
  harness_end_server
}

# harness_end_server: ends the prefix's Wine server and waits until it has
# gone: until then a new program would still reach it.
harness_end_server() {
  "$WINESERVER" -k 2>/dev/null
  timeout 10 "$WINESERVER" -w 2>/dev/null
}

# harness_setup_refused STDERR_FILE: true once the program has reported that
# its screen could not be set up: DirectDraw refused it (the program then
# waits in a message box) or SDL could not reach the X server. Its own
# messages only: Wine's "err:" lines are left aside. Seen now and then on a
# loaded machine, on a freshly started Wine server or X server, and gone on
# a second try: the scripts give the program that one more try, so that
# such a hiccup is told from a program that cannot set up its screen.
harness_setup_refused() {
  tr -d '\r' <"$1" 2>/dev/null |
    grep -q "^Directdraw \|^Unable to create ddraw surface\|^Could not find a supported ddraw\|^Cannot start the SDL video"
}

# harness_xvfb WxHxDEPTH: starts Xvfb on a display it picks itself and points
# DISPLAY at it.
harness_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    grep -q '^[0-9]' "$work/display" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.05
  done
  export DISPLAY=":$(head -n 1 "$work/display")"
  [ "$DISPLAY" = ":" ] && fail "Xvfb reported no display"
  # And a client can talk to it.
  for _ in $(seq 100); do
    xwininfo -root >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "Xvfb on $DISPLAY answers no client"
}

# harness_find_window TITLE [STDERR_FILE]: waits while the program (demo_pid)
# runs for a visible window with this exact title and prints its id. With
# STDERR_FILE, a refused set-up reported there ends the wait early. The wait
# is measured on the wall clock: on a busy machine each look takes longer,
# and Wine can take most of a minute to show a window.
harness_find_window() {
  deadline=$(($(date +%s) + 120))
  while [ "$(date +%s)" -le "$deadline" ]; do
    found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$found" ] && echo "$found" && return 0
    kill -0 "$demo_pid" 2>/dev/null || return 1
    [ -n "${2:-}" ] && harness_setup_refused "$2" && return 1
    sleep 0.05
  done
  return 1
}

# harness_cleanup: the program still running (demo_pid), Wine's server before
# the X server goes (its desktop process would complain), Xvfb, the scratch
# folder.
harness_cleanup() {
  [ -n "${demo_pid:-}" ] && kill "$demo_pid" 2>/dev/null
  [ "$wine" = yes ] && [ -n "${WINESERVER:-}" ] && harness_end_server
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
