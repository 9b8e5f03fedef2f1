#!/bin/sh
# demo_capture --video: a test module stands in for the demo's music; the
# video must hold H.264 at 1/dt frames per second and AAC sound for the whole
# run (real time: the last scene plays at half speed), come out byte for byte
# the same a second time, and a missing ffmpeg must be reported.
#   check_video.sh BIN_DIR MAKE_TEST_MODULES
set -eu
bin=$1 make_modules=$2
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "SKIP: ffmpeg is not installed"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/video.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$work/run" "$work/modules"
for file in lu09.df fernoth.df model.hax mask.raw part.raw bolinde.df wex.df talmek.df demo_capture; do
  ln -s "$bin/$file" "$work/run/$file"
done
"$make_modules" "$work/modules" >/dev/null
cp "$work/modules/effects.xm" "$work/run/quenvar2.xm"
cd "$work/run"

# dt = 0.5 s: 117 frames to 58.5 s, then 62 of the last scene at a clock
# step of 1 s each: 179 frames, 89.5 s of video at 2 frames per second.
./demo_capture --dt 0.5 --video a.mp4 >/dev/null || fail "demo_capture --video failed"
probe() { ffprobe -v error -select_streams "$2" -show_entries "$1" -of default=noprint_wrappers=1:nokey=1 "${3:-a.mp4}" | tr '\n' ' '; }
video=$(probe stream=codec_name,r_frame_rate,nb_frames,width,height v:0)
[ "$video" = "h264 640 480 2/1 179 " ] || fail "video stream: $video"
audio=$(probe stream=codec_name,sample_rate,channels a:0)
[ "$audio" = "aac 44100 2 " ] || fail "audio stream: $audio"
duration=$(probe stream=duration a:0)
awk -v d="$duration" 'BEGIN { exit !(d > 89.3 && d < 89.7) }' || fail "sound lasts $duration s, not 89.5 s"
echo "video: $video; sound: $audio$duration s"

./demo_capture --dt 0.5 --video b.mp4 >/dev/null || fail "second run failed"
cmp -s a.mp4 b.mp4 || fail "two runs with the same options gave different videos"

# Without the module the video has no sound track.
rm quenvar2.xm
./demo_capture --dt 1 --video c.mp4 >/dev/null || fail "demo_capture --video without music failed"
[ -z "$(probe stream=codec_name a c.mp4)" ] || fail "a sound track without a module"

# ffmpeg missing: a clear message and status 1.
status=0
PATH=/nonexistent ./demo_capture --video d.mp4 >/dev/null 2>err.txt || status=$?
[ "$status" -eq 1 ] && grep -q "needs the ffmpeg program" err.txt || fail "missing ffmpeg: status $status, $(cat err.txt)"
# Bad options: status 2 and a message naming the option.
status=0
./demo_capture --at 5,x >/dev/null 2>err.txt || status=$?
[ "$status" -eq 2 ] && grep -q "'x'" err.txt || fail "bad --at: status $status, $(cat err.txt)"
echo "passed"
