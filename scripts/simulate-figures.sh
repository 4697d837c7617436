#!/usr/bin/env bash
# Measures quelsor-cli simulate on a private PulseAudio server of its own (the shared virtual
# link and any other server are left alone): the processor it uses while listening, and how long
# after its server is killed (SIGKILL) and started again on the same socket it listens again.
#
#   scripts/simulate-figures.sh [SECONDS] [QUELSOR-CLI]   (defaults: 10, build/cli/quelsor-cli;
#                                                          a .exe runs under Wine)
#
# Prints one line per figure; exits 1 when simulate does not say "listening" again within 20 s.
set -euo pipefail

seconds=${1:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${2:-$root/build/cli/quelsor-cli}
cli=$(realpath -e "$cli" 2>/dev/null || echo "$cli")
[ -f "$cli" ] || { echo "simulate-figures: $cli is not built" >&2; exit 2; }
# A .exe (the Windows build) runs under Wine, in the prefix beside its build.
source "$root/scripts/wine.sh"
quelsor_cli_runner "$cli"
for tool in pulseaudio pactl parec; do
  command -v $tool >/dev/null || { echo "simulate-figures: $tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quelsor-figures-XXXXXX")
simulate_pid=
source "$root/scripts/private-pulse.sh"
cleanup() {
  [ -z "$simulate_pid" ] || kill "$simulate_pid" 2>/dev/null || true
  quelsor_stop_private_pulse
  [ ${#QUELSOR_CLI_RUN[@]} -eq 1 ] || quelsor_wine_stop
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
start_server() { quelsor_start_private_pulse "$work" figures; }
# Waits until simulate's stderr has said "listening" more than $1 times; prints the seconds since
# $2 (default: now).
wait_listening() {
  local before=$1 start=${2:-$EPOCHREALTIME}
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
"${QUELSOR_CLI_RUN[@]}" simulate --answer 1234=78D1CA1C# >/dev/null 2>"$work/simulate.err" &
simulate_pid=$!
wait_listening 0 >/dev/null || { cat "$work/simulate.err" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
# Under Wine, what its server spends for it as well.
wineserver_pid=
[ ${#QUELSOR_CLI_RUN[@]} -eq 1 ] || wineserver_pid=$(pgrep -n -f wineserver64 || true)
before=$(cpu_ticks $simulate_pid)
[ -z "$wineserver_pid" ] || server_before=$(cpu_ticks "$wineserver_pid")
sleep "$seconds"
after=$(cpu_ticks $simulate_pid)
awk -v used=$((after - before)) -v hz="$ticks" -v s="$seconds" 'BEGIN {
  printf "simulate listening: %.2f s of CPU over %d s = %.1f %% of one core\n", used / hz, s,
    100 * used / hz / s }'
if [ -n "$wineserver_pid" ]; then
  awk -v used=$(($(cpu_ticks "$wineserver_pid") - server_before)) -v hz="$ticks" -v s="$seconds" 'BEGIN {
    printf "wineserver meanwhile: %.2f s of CPU = %.1f %% of one core\n", used / hz, 100 * used / hz / s }'
fi

quelsor_stop_private_pulse KILL
sleep 2
restarted=$EPOCHREALTIME
start_server
flows=$(awk -v a="$restarted" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')
if back=$(wait_listening 1 "$restarted"); then
  echo "simulate listening again $back s after its server was started again (killed 2 s before;" \
    "the server's inputs flowed after $flows s)"
else
  cat "$work/simulate.err" >&2
  echo "simulate did not listen again within 20 s" >&2
  exit 1
fi
grep -q 'simulate: input lost, retrying' "$work/simulate.err" ||
  { echo "simulate did not say it lost its input" >&2; exit 1; }
