#!/bin/sh
# Runs the README's commands as a reader would: every command of its
# "Capturing frames and video" and "Music" sections (and the sox command the
# Music section quotes), in order, from a folder laid out like the
# repository with build/native/bin holding the build's files. Each must
# succeed and give what the README says it gives. Long runs are shortened the
# way the README says, every demo_capture run with a longer frame length
# (--dt 1, which still reaches each --at clock value); /tmp/frames
# becomes a private folder and aplay plays into ALSA's null device.
#   readme_commands.sh README.md BIN_DIR
# Exit codes: 0 passed, 1 failed, 77 skipped (ffmpeg, sox or aplay missing).
set -u
readme=$1 bin=$(cd "$2" && pwd)
for program in ffmpeg ffprobe sox aplay bash; do
  command -v "$program" >/dev/null || { echo "SKIP: $program is not installed"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/readme.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/build/native/bin"
for file in "$bin"/*; do ln -s "$file" "$work/build/native/bin/"; done

# The commands: indented lines of the two sections, without their comments,
# and the spectrogram command quoted in the text.
awk '
  /^## / { section = substr($0, 4); if (section == "Capturing frames and video" || section == "Music") print "@section"; next }
  section != "Capturing frames and video" && section != "Music" { next }
  /^    [^ ]/ { line = substr($0, 5); sub(/[ \t]+#.*$/, "", line); print line; next }
  /made with `sox / { match($0, /`sox [^`]*`/); print substr($0, RSTART + 1, RLENGTH - 2) }
' "$readme" >"$work/commands"
count=$(grep -vc '^@section$' "$work/commands")
[ "$count" -ge 9 ] || fail "only $count commands found in the README's sections: $(cat "$work/commands")"

# Each section starts in the repository's folder; commands run in one shell,
# so a cd holds for the rest of its section.
{
  echo 'set -o pipefail'
  while IFS= read -r line; do
    if [ "$line" = "@section" ]; then
      echo "cd '$work'"
      continue
    fi
    case "$line" in *demo_capture*) line="$line --dt 1" ;; esac
    line=$(printf '%s\n' "$line" | sed -e "s|/tmp/frames|$work/frames|g" -e 's/| *aplay$/| aplay -q -D null/')
    printf 'echo "+ %s (at $(date +%%s))"\n' "$(printf '%s' "$line" | sed 's/["$`\\]/\\&/g')"
    printf '%s >"%s/last.out" || { echo "FAIL: status $?: %s"; cat "%s/last.out"; exit 1; }\n' \
      "$line" "$work" "$(printf '%s' "$line" | sed 's/["$`\\]/\\&/g')" "$work"
    # What --bench prints is checked below.
    case "$line" in *--bench*) printf 'cp "%s/last.out" "%s/bench.out"\n' "$work" "$work" ;; esac
    # The length of each WAV the xm2wav commands write, in order.
    case "$line" in *xm2wav*' quenvar2.wav'*) printf 'wc -c <quenvar2.wav >>"%s/wav.sizes"\n' "$work" ;; esac
  done <"$work/commands"
} >"$work/commands.sh"
bash "$work/commands.sh" || exit 1

# What the README says the commands give.
png_ok() { [ "$(od -An -tx1 -N 8 "$1" | tr -d ' ')" = 89504e470d0a1a0a ] && tail -c 8 "$1" | grep -q IEND; }
for t in 3.000 16.450 47.000; do
  png_ok "$work/frames/frame-$t.png" || fail "frame-$t.png is missing or not a whole PNG"
done
png_ok "$work/frames/frame-00000.png" || fail "--all wrote no frame-00000.png"
[ -z "$(find "$work" -name '*.part*' -o -name '*.sound.wav')" ] || fail "temporaries left: $(find "$work" -name '*.part*')"
video=$work/build/native/bin/demo.mp4
streams=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$video" | tr '\n' ' ')
[ "$streams" = "h264 aac " ] || fail "demo.mp4 holds [$streams], not H.264 and AAC"
grep -q '^whole run: ' "$work/bench.out" || fail "--bench printed no table"
# "once through, 89.3 s", as the comment says; --seconds 120 exactly.
said=$(grep -o 'once through, [0-9.]* s' "$readme" | grep -o '[0-9][0-9.]*')
bytes=$(sed -n 1p "$work/wav.sizes")
awk -v b="$bytes" -v s="$said" 'BEGIN { d = (b - 44) / 176400; exit !(d > s - 0.05 && d < s + 0.05) }' ||
  fail "quenvar2.wav once through holds $(((bytes - 44) / 1764)) cs of sound, not $said s"
bytes=$(sed -n 2p "$work/wav.sizes")
[ "$bytes" = $((44 + 120 * 176400)) ] || fail "quenvar2.wav with --seconds 120 has $bytes bytes"
[ -s "$work/spectrogram.png" ] || fail "sox wrote no spectrogram.png"
echo "passed: $count README commands"
