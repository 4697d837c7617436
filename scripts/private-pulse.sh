# Shared by the scripts that need a PulseAudio server of their own, away from the shared virtual
# link and any other server (simulate-figures.sh, request-stress.sh, test-windows.sh).
# shellcheck shell=bash

QUELSOR_PULSE_PID=
QUELSOR_PULSE_LISTENERS=()

# quelsor_start_private_pulse FOLDER NAME[=DESCRIPTION]...: starts a server whose socket, state
# and log (pulseaudio.log) are in FOLDER, with for each NAME a 16 kHz mono null sink NAME
# (described DESCRIPTION, else NAME) and its monitor remapped as the source NAME_in (described
# "DESCRIPTION input"); the last NAME's are the defaults. A quiet listener on each monitor keeps
# the null sink as quick as a sound card (see virtual-link.sh), and keeps the remapped source
# flowing while nothing plays, as a card's input does; it returns once the inputs flow. Exports
# PULSE_SERVER and the paths so that the clients started afterwards use it; sets
# QUELSOR_PULSE_PID and QUELSOR_PULSE_LISTENERS.
# Waits up to 5 s for the server to answer, else prints its log and exits 2. Called again on the
# same FOLDER (after quelsor_stop_private_pulse), starts it again on the same socket.
quelsor_start_private_pulse() {
  local folder=$1 pair name description
  shift
  export PULSE_RUNTIME_PATH=$folder PULSE_STATE_PATH=$folder PULSE_SERVER=unix:$folder/native
  # The socket last: a client retrying after a restart must not connect before the defaults.
  for pair in "$@"; do
    name=${pair%%=*}
    description=${pair#*=}
    echo "load-module module-null-sink sink_name=$name format=s16le rate=16000 channels=1" \
      "sink_properties='device.description=\"$description\"'"
    echo "load-module module-remap-source master=$name.monitor source_name=${name}_in" \
      "source_properties='device.description=\"$description input\"'"
  done >"$folder/startup.pa"
  printf 'set-default-sink %s\nset-default-source %s\n' "$name" "${name}_in" >>"$folder/startup.pa"
  echo "load-module module-native-protocol-unix socket=$folder/native" >>"$folder/startup.pa"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --file="$folder/startup.pa" \
    >/dev/null 2>>"$folder/pulseaudio.log" &
  QUELSOR_PULSE_PID=$!
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { cat "$folder/pulseaudio.log" >&2; exit 2; }
  QUELSOR_PULSE_LISTENERS=()
  for pair in "$@"; do
    parec --device="${pair%%=*}.monitor" --latency-msec=100 --rate=16000 --channels=1 \
      --format=s16le >/dev/null 2>&1 </dev/null &
    QUELSOR_PULSE_LISTENERS+=($!)
  done
  # A remapped source gives nothing for a second or two after the server starts, then drops
  # some of what comes first; a card's input flows at once. Wait until each one gives 300 ms.
  for pair in "$@"; do
    timeout 5 parec --device="${pair%%=*}_in" --latency-msec=20 --rate=16000 --channels=1 \
      --format=s16le 2>/dev/null | head -c 9600 >/dev/null || true
  done
}

# quelsor_stop_private_pulse [SIGNAL]: ends the listeners, then the server with SIGNAL (TERM by
# default, as the system stops it; KILL as a crash), and waits for them.
quelsor_stop_private_pulse() {
  local pid
  for pid in "${QUELSOR_PULSE_LISTENERS[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${QUELSOR_PULSE_PID:-}" ] && kill -"${1:-TERM}" "$QUELSOR_PULSE_PID" 2>/dev/null || true
  for pid in "${QUELSOR_PULSE_LISTENERS[@]}" ${QUELSOR_PULSE_PID:-}; do
    wait "$pid" 2>/dev/null || true
  done
  QUELSOR_PULSE_LISTENERS=()
  QUELSOR_PULSE_PID=
}
