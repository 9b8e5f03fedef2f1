#!/bin/sh
# The Windows programs under Wine compute what the native ones compute, bit
# for bit: nothing in the pictures or the sound depends on the compiler, the
# C library or the processor's word size.
#   windows_same_as_native.sh frames NATIVE_BIN WINDOWS_BIN [ARTIFACTS]
#     demo_capture.exe writes the frames at the pinned clocks (and one every
#     eight seconds) with the native demo_capture's pixels.
#   windows_same_as_native.sh music NATIVE_BIN WINDOWS_BIN MAKE_TEST_MODULES [ARTIFACTS]
#     xm2wav.exe renders quenvar2.xm and every generated test module to the
#     bytes the native xm2wav writes.
# WINE names Wine's loader (wine, or wine64 for a 64-bit Windows build),
# WINEPREFIX the prefix (by default wineprefix-console beside the Windows
# build).
set -u
here=$(cd "$(dirname "$0")" && pwd)
mode=$1 native=$2 windows=$3
shift 3
if [ "$mode" = music ]; then
  make_modules=$1
  shift
fi
artifacts=${1:-}

say() { echo "[$(date +%T.%N | cut -c1-12)] $*"; }
fail() {
  say "FAIL: $*"
  if [ -n "$artifacts" ] && [ -d "${work:-}" ]; then
    rm -rf "$artifacts"
    mkdir -p "$artifacts"
    cp -r "$work"/. "$artifacts"/ 2>/dev/null
    rm -f "$artifacts"/*.rgb
    say "output kept in $artifacts"
  fi
  exit 1
}
skip() { echo "SKIP: $*"; exit 77; }

case $mode in
  frames) programs="demo_capture" ;;
  music) programs="xm2wav" ;;
  *) echo "usage: windows_same_as_native.sh frames|music NATIVE_BIN WINDOWS_BIN ..." >&2; exit 2 ;;
esac
[ -x "$native/$programs" ] || fail "$native/$programs is not built"
[ -f "$windows/$programs.exe" ] || skip "$windows/$programs.exe is not built"

wine=yes
. "$here/harness.sh"
harness_wine "$(cd "$windows/.." && pwd)/wineprefix-console"
work=$(mktemp -d "${TMPDIR:-/tmp}/windows-same-$mode.XXXXXX")
xvfb_pid="" demo_pid=""
trap harness_cleanup EXIT
trap 'exit 1' INT TERM HUP
# Console programs: no display for Wine to talk to.
unset DISPLAY
harness_prefix

if [ "$mode" = frames ]; then
  # The pinned frames of tests/capture, and one every 8 s across the scenes.
  clocks="2,16.4,33,47,80"
  for t in 0 8 24 40 56 64 72 88 96 104 112 119; do clocks="$clocks,$t"; done
  mkdir -p "$work/native" "$work/windows"
  (cd "$native" && ./demo_capture --at "$clocks" --out "$work/native" >"$work/native.log" 2>&1) ||
    fail "native demo_capture: $(tail -n 3 "$work/native.log")"
  say "native frames written"
  (cd "$windows" && timeout -k 5 900 "$WINE" ./demo_capture.exe --at "$clocks" --out "$work/windows" \
    >"$work/windows.log" 2>&1 </dev/null) || fail "demo_capture.exe: $(tail -n 3 "$work/windows.log")"
  say "Windows frames written"
  count=0
  for image in "$work"/native/frame-*.png; do
    name=$(basename "$image" .png)
    other=$(ls "$work/windows/$name".p?m "$work/windows/$name".png 2>/dev/null | head -n 1)
    [ -n "$other" ] || fail "demo_capture.exe wrote no $name"
    convert "$image" -depth 8 "rgb:$work/$name-native.rgb" && convert "$other" -depth 8 "rgb:$work/$name-windows.rgb" ||
      fail "$name: the images cannot be read"
    [ "$(stat -c %s "$work/$name-native.rgb")" = $((640 * 480 * 3)) ] || fail "$name: not a 640 x 480 picture"
    if ! cmp -s "$work/$name-native.rgb" "$work/$name-windows.rgb"; then
      differing=$(cmp -l "$work/$name-native.rgb" "$work/$name-windows.rgb" | awk '{ print int(($1 - 1) / 3) }' |
        uniq | wc -l)
      fail "$name: $differing of 307200 pixels differ between the native and the Windows capture"
    fi
    count=$((count + 1))
  done
  [ "$count" = 17 ] || fail "$count frames compared, 17 expected"
  say "$count frames equal pixel for pixel"
else
  mkdir -p "$work/modules"
  "$make_modules" "$work/modules" >/dev/null || fail "make_test_modules failed"
  cp "$native/quenvar2.xm" "$work/modules/" || fail "no quenvar2.xm in $native"
  count=0
  for module in "$work"/modules/*.xm; do
    name=$(basename "$module" .xm)
    "$native/xm2wav" "$module" "$work/$name-native.wav" >"$work/$name-native.log" 2>&1 ||
      fail "native xm2wav $name: $(tail -n 3 "$work/$name-native.log")"
    # Relative names in the Windows program's own folder view.
    (cd "$work" && timeout -k 5 300 "$WINE" "$windows/xm2wav.exe" "modules/$name.xm" "$name-windows.wav" \
      >"$work/$name-windows.log" 2>&1 </dev/null) || fail "xm2wav.exe $name: $(tail -n 3 "$work/$name-windows.log")"
    size=$(stat -c %s "$work/$name-native.wav")
    [ "$size" -gt 44 ] || fail "$name: the native rendering is empty"
    cmp "$work/$name-native.wav" "$work/$name-windows.wav" >"$work/$name-cmp.log" 2>&1 ||
      fail "$name: the renderings differ ($(head -n 1 "$work/$name-cmp.log"))"
    say "$name: $size bytes, equal"
    count=$((count + 1))
  done
  [ "$count" -ge 4 ] || fail "only $count modules rendered"
fi
