#!/usr/bin/env bash
# Measures quelsor-cli simulate on a private PulseAudio server of its own (the shared virtual
# link and any other server are left alone): the processor it uses while listening, and how long
# after its server is killed (SIGKILL) and started again on the same socket it listens again.
#
#   scripts/simulate-figures.sh [SECONDS] [QUELSOR-CLI]   (defaults: 10, build/cli/quelsor-cli)
#
# Prints one line per figure; exits 1 when simulate does not say "listening" again within 20 s.
set -euo pipefail

seconds=${1:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${2:-$root/build/cli/quelsor-cli}
[ -x "$cli" ] || { echo "simulate-figures: $cli is not built" >&2; exit 2; }
for tool in pulseaudio pactl parec; do
  command -v $tool >/dev/null || { echo "simulate-figures: $tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quelsor-figures-XXXXXX")
server_pid=
listener_pid=
simulate_pid=
cleanup() {
  for pid in $simulate_pid $listener_pid $server_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export PULSE_RUNTIME_PATH=$work PULSE_STATE_PATH=$work PULSE_SERVER=unix:$work/native
start_server() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-native-protocol-unix socket=$work/native" \
    --load="module-null-sink sink_name=figures format=s16le rate=16000 channels=1" \
    --load="module-remap-source master=figures.monitor source_name=figures_in" \
    >/dev/null 2>>"$work/pulseaudio.log" &
  server_pid=$!
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { cat "$work/pulseaudio.log" >&2; exit 2; }
  pactl set-default-sink figures
  pactl set-default-source figures_in
  # A quiet listener on the monitor keeps the null sink as quick as a sound card.
  parec --latency-msec=100 -d figures.monitor >/dev/null 2>&1 &
  listener_pid=$!
}
# Waits until simulate's stderr has said "listening" more than $1 times; prints the seconds.
wait_listening() {
  local before=$1 start=$EPOCHREALTIME
  for _ in $(seq 400); do
    [ "$(grep -c 'simulate: listening' "$work/simulate.err")" -gt "$before" ] && break
    sleep 0.05
  done
  [ "$(grep -c 'simulate: listening' "$work/simulate.err")" -gt "$before" ] || return 1
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

start_server
cd "$work"
"$cli" simulate --answer 1234=78D1CA1C# >/dev/null 2>"$work/simulate.err" &
simulate_pid=$!
wait_listening 0 >/dev/null || { cat "$work/simulate.err" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
before=$(cpu_ticks $simulate_pid)
sleep "$seconds"
after=$(cpu_ticks $simulate_pid)
awk -v used=$((after - before)) -v hz="$ticks" -v s="$seconds" 'BEGIN {
  printf "simulate listening: %.2f s of CPU over %d s = %.1f %% of one core\n", used / hz, s,
    100 * used / hz / s }'

kill "$listener_pid" 2>/dev/null || true
{ kill -KILL "$server_pid" && wait "$server_pid"; } 2>/dev/null || true
sleep 2
start_server
if back=$(wait_listening 1); then
  echo "simulate listening again $back s after its server was started again (killed 2 s before)"
else
  cat "$work/simulate.err" >&2
  echo "simulate did not listen again within 20 s" >&2
  exit 1
fi
grep -q 'simulate: input lost, retrying' "$work/simulate.err" ||
  { echo "simulate did not say it lost its input" >&2; exit 1; }
