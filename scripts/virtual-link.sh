#!/usr/bin/env bash
# A virtual audio link for trying Quelsor without hardware, and for the audio tests.
#
#   scripts/virtual-link.sh start   starts a user PulseAudio server (also as root) with one null
#                                   sink shared by both ends and a source over its monitor, both
#                                   set as the defaults: a half-duplex channel where each program
#                                   hears what the other plays.
#   scripts/virtual-link.sh stop    ends the server that 'start' started (by its recorded pid).
#   scripts/virtual-link.sh status  tells whether that server runs.
#
# The link runs at 16000 Hz mono, Quelsor's own format, so nothing is resampled on the way.
#
# A null sink that nobody listens to renders two seconds ahead, so the first sound played into it
# waits up to two seconds; a sound card does not. 'start' therefore keeps a quiet listener on the
# sink's monitor (parec into /dev/null, 100 ms latency), which keeps the link as quick as a card
# for a fraction of a percent of a processor. It ends with the server.
set -euo pipefail

state_dir=${QUELSOR_LINK_STATE:-${TMPDIR:-/tmp}/quelsor-link-$(id -u)}
pid_file=$state_dir/pulseaudio.pid
listener_pid_file=$state_dir/listener.pid
sink=quelsor_link
source=quelsor_link_in

our_pid() {
  [ -f "$pid_file" ] || return 1
  local pid
  pid=$(cat "$pid_file")
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
    grep -q pulseaudio "/proc/$pid/comm" 2>/dev/null && echo "$pid"
}

server_answers() { pactl info >/dev/null 2>&1; }

start() {
  if our_pid >/dev/null; then
    echo "virtual link already running (pid $(our_pid))"
    return 0
  fi
  if server_answers; then
    echo "virtual-link: a sound server not started by this script is already running;" >&2
    echo "stop it first, or use its own devices." >&2
    return 1
  fi
  command -v pulseaudio >/dev/null || {
    echo "virtual-link: pulseaudio is not installed (apt-get install pulseaudio pulseaudio-utils)" >&2
    return 1
  }
  mkdir -p "$state_dir"
  # -n: no default configuration, only the modules named here. As root PulseAudio warns that it
  # is meant for user sessions and runs all the same.
  pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=$sink format=s16le rate=16000 channels=1 sink_properties=device.description=Quelsor-link" \
    --load="module-remap-source master=$sink.monitor source_name=$source source_properties=device.description=Quelsor-link-input" \
    2>"$state_dir/pulseaudio.log" || {
    cat "$state_dir/pulseaudio.log" >&2
    return 1
  }
  local i
  for i in $(seq 50); do
    server_answers && break
    sleep 0.1
  done
  server_answers || {
    echo "virtual-link: the sound server did not answer" >&2
    return 1
  }
  local socket
  socket=$(pactl info | sed -n 's/^Server String: //p')
  cat "$(dirname "$socket")/pid" >"$pid_file"
  pactl set-default-sink "$sink"
  pactl set-default-source "$source"
  if command -v parec >/dev/null; then
    nohup parec --device="$sink.monitor" --latency-msec=100 --rate=16000 --channels=1 \
      --format=s16le >/dev/null 2>&1 </dev/null &
    echo $! >"$listener_pid_file"
  fi
  echo "virtual link running (pid $(cat "$pid_file")): default sink $sink, default source $source"
}

stop() {
  local pid
  if ! pid=$(our_pid); then
    rm -f "$pid_file"
    echo "virtual link not running"
    return 0
  fi
  kill "$pid"
  local i
  for i in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
  rm -f "$pid_file"
  # The quiet listener ends with the server; one that lingers is ended by its recorded pid.
  if [ -f "$listener_pid_file" ]; then
    local listener
    listener=$(cat "$listener_pid_file")
    if [ -n "$listener" ] && grep -q parec "/proc/$listener/comm" 2>/dev/null; then
      kill "$listener" 2>/dev/null || true
    fi
    rm -f "$listener_pid_file"
  fi
  echo "virtual link stopped"
}

case "${1:-}" in
start) start ;;
stop) stop ;;
status) if pid=$(our_pid); then echo "running (pid $pid)"; else echo "not running"; exit 1; fi ;;
*)
  echo "usage: $0 start|stop|status" >&2
  exit 2
  ;;
esac
