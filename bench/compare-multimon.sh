#!/usr/bin/env bash
# The speed of quelsor-cli detect on a 600 s 16 kHz recording against Debian's multimon-ng
# (multimon-ng -a DTMF -t wav, which reads WAV through sox) on the same file in the same run, and
# against its own one-thread run; with --long, also the peak memory and the time of detect and
# decode on a 4-hour 48 kHz stereo WAV file (2.8 GB, written and removed here). Prints the
# medians of RUNS runs (5) and the ratios, also per round and of the fastest runs. Run it on a quiet machine: the load is printed before
# and after. The recordings are written below QUELSOR_BENCH_DIR (default: the build folder).
#   bench/compare-multimon.sh [--long]
# Installs multimon-ng, sox and time when missing (as root; otherwise prints the apt-get line).
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

long=0
[ "${1:-}" = "--long" ] && long=1
runs=${RUNS:-5}
quelsor_ensure_packages multimon-ng sox time
quelsor_configure "$QUELSOR_BUILD" >/dev/null
cmake --build "$QUELSOR_BUILD" --target quelsor-cli bench_make_recording >/dev/null
cli="$QUELSOR_BUILD/cli/quelsor-cli"
make_recording="$QUELSOR_BUILD/bench/bench_make_recording"
work=$(mktemp -d "${QUELSOR_BENCH_DIR:-$QUELSOR_BUILD}/compare-multimon.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Seconds of elapsed time of a command, to the millisecond, its output thrown away.
seconds_of() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

file="$work/answers-600s-16k.wav"
"$make_recording" 600 16000 1 "$file"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
echo "detect (default threads): $("$cli" detect --threshold 30 "$file" | wc -l) answers;" \
  "multimon-ng: $(multimon-ng -a DTMF -t wav "$file" 2>/dev/null | grep -c '^DTMF:') DTMF characters"
ours=() one=() multimon=()
for ((run = 0; run < runs; run++)); do
  ours+=("$(seconds_of "$cli" detect --threshold 30 "$file")")
  one+=("$(seconds_of "$cli" detect --threshold 30 --threads 1 "$file")")
  multimon+=("$(seconds_of multimon-ng -a DTMF -t wav "$file")")
done
t_ours=$(printf '%s\n' "${ours[@]}" | median)
t_one=$(printf '%s\n' "${one[@]}" | median)
t_multimon=$(printf '%s\n' "${multimon[@]}" | median)
echo "600 s at 16 kHz, median of $runs runs:"
echo "  quelsor-cli detect            ${t_ours} s   (runs: ${ours[*]})"
echo "  quelsor-cli detect --threads 1 ${t_one} s   (runs: ${one[*]})"
echo "  multimon-ng -a DTMF -t wav    ${t_multimon} s   (runs: ${multimon[*]})"
awk -v o="$t_ours" -v s="$t_one" -v m="$t_multimon" 'BEGIN {
  printf "  speed against multimon-ng: %.2fx   against one thread: %.2fx   (ratio of the medians)\n",
    m / o, s / o }'
# On a shared machine a slow spell slows every program of a round alike: the ratios of each
# round (its three runs follow each other) and of the fastest runs are steadier figures.
round_ratios=$(for ((run = 0; run < runs; run++)); do
  echo "${multimon[run]} ${ours[run]} ${one[run]}"
done | awk '{ print $1 / $2, $3 / $2 }')
echo "  median of the rounds' ratios: against multimon-ng" \
  "$(cut -d' ' -f1 <<<"$round_ratios" | median | xargs printf '%.2fx')," \
  "against one thread $(cut -d' ' -f2 <<<"$round_ratios" | median | xargs printf '%.2fx')"
fastest() { sort -n | head -1; }
awk -v o="$(printf '%s\n' "${ours[@]}" | fastest)" -v s="$(printf '%s\n' "${one[@]}" | fastest)" \
  -v m="$(printf '%s\n' "${multimon[@]}" | fastest)" 'BEGIN {
  printf "  fastest runs: %.3f s, one thread %.3f s, multimon-ng %.3f s: %.2fx and %.2fx\n",
    o, s, m, m / o, s / o }'

if [ "$long" -eq 1 ]; then
  big="$work/answers-4h-48k-stereo.wav"
  "$make_recording" 14400 48000 2 "$big"
  echo "4 h at 48 kHz stereo, $(du -h "$big" | cut -f1):"
  # peak NAME ARGS...: the lines quelsor-cli prints, its peak memory and its time.
  peak() {
    local name=$1
    shift
    /usr/bin/time -v -o "$work/time-v" "$cli" "$@" "$big" >"$work/lines.txt"
    echo "  $name: $(wc -l <"$work/lines.txt") lines;" \
      "$(grep -E 'Maximum resident|Elapsed' "$work/time-v" | sed 's/^\s*//' | paste -sd ';' -)"
  }
  peak detect detect --threshold 30
  peak decode decode --config "$QUELSOR_ROOT/examples/quelsor.ini" --request 0
  rm -f "$big"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
