#!/bin/sh
# Runs one fuzz target:
#   run_fuzz.sh FUZZER SEEDS REGRESSIONS WORKDIR [libFuzzer options...]
# First every seed file and every regression file is run once, whole (longer
# than the fuzzing length limit if need be); then the target fuzzes for
# DEMO_FUZZ_SECONDS seconds (default 30), starting from WORKDIR/corpus (its
# own growing corpus, kept between runs) and SEEDS. Extra options go to libFuzzer,
# for example -runs=10000000 for a run of a given number of inputs (with
# DEMO_FUZZ_SECONDS=0 for no time limit). An input that fails is written
# to WORKDIR/artifacts as crash-*, timeout-* or oom-*, and the exit code is
# non-zero. The targets' own lines on the standard error are closed off
# (-close_fd_mask=2); libFuzzer's report and the sanitizers' still show.
set -eu
fuzzer=$1 seeds=$2 regressions=$3 workdir=$4
shift 4
seconds=${DEMO_FUZZ_SECONDS:-30}
name=$(basename "$fuzzer")
corpus=$workdir/corpus
artifacts=$workdir/artifacts
mkdir -p "$corpus" "$artifacts"

replay=$(find "$seeds" -type f ! -name stamp | sort)
[ -d "$regressions" ] && replay="$replay $(find "$regressions" -type f | sort)"
echo "$name: replaying $(echo $replay | wc -w) seed and regression files"
# shellcheck disable=SC2086
"$fuzzer" -timeout=60 -rss_limit_mb=2048 -close_fd_mask=2 $replay 2>"$artifacts/$name-replay.log" || {
  cat "$artifacts/$name-replay.log" >&2
  echo "$name: a seed or regression file failed" >&2
  exit 1
}

if [ "$seconds" = 0 ]; then echo "$name: fuzzing without a time limit"; else echo "$name: fuzzing for $seconds s"; fi
"$fuzzer" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 -close_fd_mask=2 \
  -artifact_prefix="$artifacts/$name-" "$@" "$corpus" "$seeds"
