#!/usr/bin/env bash
# Runs quelsor-cli request many times on a private PulseAudio server whose streams keep starting
# and stopping (another client plays short sounds in a loop), and counts how the runs ended.
# Nobody answers, so every run should end by its time-out with exit status 1; a run killed by a
# signal is a crash of the program or of the sound library under it.
#
#   scripts/request-stress.sh [RUNS] [QUELSOR-CLI]    (defaults: 100, build/cli/quelsor-cli;
#                                                      a .exe runs under Wine)
#
# Exits 1 when any run was killed by a signal. Takes about 3 s a run; the shared virtual link and
# any other sound server are left alone.
set -euo pipefail

runs=${1:-100}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${2:-$root/build/cli/quelsor-cli}
cli=$(realpath -e "$cli" 2>/dev/null || echo "$cli")
[ -f "$cli" ] || { echo "request-stress: $cli is not built" >&2; exit 2; }
# A .exe (the Windows build) runs under Wine, in the prefix beside its build.
source "$root/scripts/wine.sh"
quelsor_cli_runner "$cli"
for tool in pulseaudio pactl pacat; do
  command -v $tool >/dev/null || { echo "request-stress: $tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quelsor-stress-XXXXXX")
churn_pid=
source "$root/scripts/private-pulse.sh"
cleanup() {
  [ -n "$churn_pid" ] && kill "$churn_pid" 2>/dev/null || true
  quelsor_stop_private_pulse
  [ ${#QUELSOR_CLI_RUN[@]} -eq 1 ] || quelsor_wine_stop
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

quelsor_start_private_pulse "$work" stress

# 100 ms of silence played again and again: a stream appears and goes about ten times a second.
head -c 3200 /dev/zero >"$work/blip.raw"
(while true; do pacat --format=s16le --rate=16000 --channels=1 "$work/blip.raw"; done) \
  >/dev/null 2>&1 &
churn_pid=$!

declare -A ends
crashed=0
cd "$work"
for i in $(seq "$runs"); do
  status=0
  "${QUELSOR_CLI_RUN[@]}" request --config "$root/examples/quelsor.ini" --request 0 --timeout 1 \
    >/dev/null 2>"$work/request.err" || status=$?
  ends[$status]=$((${ends[$status]:-0} + 1))
  if [ "$status" -gt 128 ]; then
    crashed=$((crashed + 1))
    echo "run $i: killed by signal $((status - 128))"
  fi
done
for status in "${!ends[@]}"; do
  echo "exit status $status: ${ends[$status]} of $runs"
done
[ "$crashed" -eq 0 ]
