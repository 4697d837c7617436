# Shared by simulate-figures.sh and request-stress.sh: a PulseAudio server of their own, away
# from the shared virtual link and any other server.
# shellcheck shell=bash

# quelsor_start_private_pulse FOLDER NAME: starts a server whose socket, state and log
# (pulseaudio.log) are in FOLDER, with a null sink NAME and its monitor as the source NAME_in,
# both the defaults; exports PULSE_SERVER and the paths so that the clients started afterwards
# use it, and sets QUELSOR_PULSE_PID. Waits up to 5 s for the server to answer, else prints its
# log and exits 2. Called again on the same FOLDER, starts it again on the same socket.
quelsor_start_private_pulse() {
  local folder=$1 name=$2
  export PULSE_RUNTIME_PATH=$folder PULSE_STATE_PATH=$folder PULSE_SERVER=unix:$folder/native
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-native-protocol-unix socket=$folder/native" \
    --load="module-null-sink sink_name=$name format=s16le rate=16000 channels=1" \
    --load="module-remap-source master=$name.monitor source_name=${name}_in" \
    >/dev/null 2>>"$folder/pulseaudio.log" &
  QUELSOR_PULSE_PID=$!
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { cat "$folder/pulseaudio.log" >&2; exit 2; }
  pactl set-default-sink "$name"
  pactl set-default-source "${name}_in"
}
