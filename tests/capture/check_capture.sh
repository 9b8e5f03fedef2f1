#!/bin/sh
# Captures frames of the whole sequence with demo_capture and checks them:
# every 0.25 s of clock through scenes 1 to 13, every second of scene 14 (on
# its doubled clock, half a second of its drift) and its last frame, and the
# pinned frames (see capture_checks.cpp).
#   check_capture.sh BIN_DIR CAPTURE_CHECKS
set -eu
bin=$1 checks=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/capture.XXXXXX")
trap 'rm -rf "$work"' EXIT
clocks=$(awk 'BEGIN { for (i = 0; i < 234; i++) printf "%s%.2f", (i ? "," : ""), i * 0.25;
                      printf ",16.4,58.5"; for (t = 59; t < 120; t++) printf ",%d", t; printf ",119.9" }')
cd "$bin"
./demo_capture --at "$clocks" --out "$work" >/dev/null
"$checks" "$bin/mask.raw" "$work"/frame-*.png
