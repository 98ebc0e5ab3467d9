#!/usr/bin/env bash
# probe-bench: how fast recorder-probe reads what the viewer needs of a movie (duration,
# frame interval, frame count, picture size), against ffprobe reading the duration and the
# frame rates, in the same run on the same 1,000 small movies.
#
#   bench/probe-bench.sh PATH/TO/recorder-probe [COUNT]
#
# recorder-probe reads all movies in one process; ffprobe runs once per file, as it is
# used. Prints one JSON line; it never fails on timing.
set -euo pipefail
export LC_ALL=C

probe=${1:?usage: probe-bench.sh PATH/TO/recorder-probe [COUNT]}
count=${2:-1000}
for tool in ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "{\"skipped\":\"$tool is not available\"}"; exit 0; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One recorder-like movie (H.264 and AAC, 2 s), copied under distinct names.
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=320x240:rate=30 -f lavfi -i sine=frequency=440 \
  -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -f mp4 "$work/one.mp4"
mkdir "$work/movies"
for i in $(seq -f '%06g' 1 "$count"); do
  cp "$work/one.mp4" "$work/movies/AG_S-220101-120000-${i}M.MOV"
done

now() { date +%s.%N; }

start=$(now)
"$probe" movie "$work"/movies/* >"$work/probe.jsonl"
probe_s=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
lines=$(wc -l <"$work/probe.jsonl")

start=$(now)
find "$work/movies" -type f -print0 | sort -z |
  xargs -0 -P1 -n1 ffprobe -v error -show_entries format=duration:stream=r_frame_rate >"$work/ffprobe.txt"
ffprobe_s=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')

awk -v n="$count" -v lines="$lines" -v p="$probe_s" -v f="$ffprobe_s" 'BEGIN {
  pr = (p > 0) ? n / p : 0; fr = (f > 0) ? n / f : 0; ratio = (fr > 0) ? pr / fr : 0
  printf "{\"files\":%d,\"probe_lines\":%d,\"probe_s\":%.3f,\"ffprobe_s\":%.3f,", n, lines, p, f
  printf "\"probe_files_per_s\":%.1f,\"ffprobe_files_per_s\":%.1f,\"ratio\":%.2f}\n", pr, fr, ratio
}'
