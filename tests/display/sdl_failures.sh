#!/bin/sh
# The SDL programs' start-up failures: with no display the program says so
# and exits with status 1 instead of running without a window, also when the
# display it names is not there; a video driver SDL cannot start is reported
# with SDL's own explanation.
#   sdl_failures.sh PROGRAM
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0

check() {  # name, expected stderr text, environment...
  name=$1 text=$2
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER HOME="$work" XDG_RUNTIME_DIR="$work" SDL_AUDIODRIVER=dummy "$@" \
    timeout -k 5 20 "$program" >stdout.log 2>stderr.log </dev/null
  rc=$?
  if [ "$rc" -eq 0 ] || [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "FAIL $name: exit code $rc, expected a failure"
    fail=1
  fi
  if ! grep -qF "$text" stderr.log; then
    echo "FAIL $name: standard error lacks \"$text\":"
    cat stderr.log
    fail=1
  fi
}

check no-display "No display found"
[ "$rc" -eq 1 ] || { echo "FAIL no-display: exit code $rc, not 1"; fail=1; }
# A display named but not there: no X server listens on display 4057.
check dead-display "No display found" DISPLAY=:4057
[ "$rc" -eq 1 ] || { echo "FAIL dead-display: exit code $rc, not 1"; fail=1; }
check bad-driver "Cannot start the SDL video subsystem: " SDL_VIDEODRIVER=nosuchdriver
[ "$rc" -eq 1 ] || { echo "FAIL bad-driver: exit code $rc, not 1"; fail=1; }
exit $fail
