#!/usr/bin/env bash
# A long run of quelsor-cli poll answered by quelsor-cli simulate, on a private PulseAudio server
# of its own (the shared virtual link and any other server are left alone): REQUESTS requests of
# item 0 of the sample configuration, one round after the other, no retries, so that every
# request the link loses is counted. Reads poll's resident memory and open files every 10 s.
#
#   scripts/poll-soak.sh [REQUESTS] [QUELSOR-CLI]   (defaults: 500, build/cli/quelsor-cli)
#
# Prints poll's own summary, the records counted by status, and the memory and file figures at
# the start, the end and their highest; exits 1 when poll fails or a record is missing.
set -euo pipefail

requests=${1:-500}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=$(realpath -e "${2:-$root/build/cli/quelsor-cli}" 2>/dev/null) ||
  { echo "poll-soak: ${2:-build/cli/quelsor-cli} is not built" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quelsor-soak-XXXXXX")
pids=()
source "$root/scripts/private-pulse.sh"
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  quelsor_stop_private_pulse
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
quelsor_start_private_pulse "$work" soak
cd "$work"

"$cli" simulate --answer 1234=78D1CA1C# >/dev/null 2>simulate.err &
pids+=($!)
for _ in $(seq 200); do grep -q 'simulate: listening' simulate.err && break; sleep 0.1; done

started=$SECONDS
"$cli" poll --config "$root/examples/quelsor.ini" --request 0 --every 1s --count "$requests" \
  --retries 0 --timeout 8 --jsonl records.jsonl >/dev/null 2>poll.err &
poll_pid=$!
pids+=($poll_pid)
# seconds, resident kB, open files: one line every 10 s while poll runs.
while kill -0 "$poll_pid" 2>/dev/null; do
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$poll_pid/status" 2>/dev/null || true)
  fds=$(find "/proc/$poll_pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
  [ -z "$rss" ] || echo "$((SECONDS - started)) $rss $fds" >>samples
  for _ in $(seq 100); do kill -0 "$poll_pid" 2>/dev/null || break; sleep 0.1; done
done
code=0
wait "$poll_pid" || code=$?

grep 'requests sent' poll.err || cat poll.err >&2
# One answer gives several records (one per zone) with the same time: count answers by time.
answers=$(grep '"status":"ok"' records.jsonl | sed 's/.*"time":"\([^"]*\)".*/\1/' | sort -u | wc -l || true)
echo "records: $(sed -n 's/.*"status":"\([a-z]*\)".*/\1/p' records.jsonl | sort | uniq -c | tr -s ' \n' ' ')"
echo "answers decoded: $answers of $requests, in $((SECONDS - started)) s"
awk 'NR == 2 { first = $0 } { last = $0; if ($2 > rss) rss = $2; if ($3 > fds) fds = $3 }
  END { split(first, a); split(last, b)
    printf "resident memory: %d kB after %d s, %d kB after %d s, highest %d kB\n", a[2], a[1], b[2], b[1], rss
    printf "open files: %d at the start, %d at the end, highest %d\n", a[3], b[3], fds }' samples
[ "$code" -eq 0 ] && [ "$answers" -gt 0 ]
