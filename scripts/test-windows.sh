#!/usr/bin/env bash
# The Windows build, tested under Wine: cross-builds the headless core, quelsor-cli.exe and the
# unit tests with MinGW-w64 (no Qt), runs the unit tests under wine64, then runs quelsor-cli.exe
# on Windows paths (C:\ with spaces and accents, a CRLF configuration file in Windows-1252) and
# compares what it prints and writes with the Linux build's quelsor-cli on the same inputs.
#
# The outputs must be the same bytes, except for one Windows convention: text printed on stdout
# and stderr ends its lines with CRLF (the C runtime's text mode), which the script checks and
# then removes before comparing. Files written (WAV command files) are compared as they are.
#
# Usage: scripts/test-windows.sh [--leave-out COMMAND[,COMMAND...]] [--build-only]
#   --leave-out   commands that the Windows build does not have (say a library they need has no
#                 MinGW build): their comparisons are skipped and listed. Also taken from
#                 QUELSOR_WINDOWS_LEAVE_OUT.
#   --build-only  the cross-build only (test.sh runs it beside the Linux tests).
# The Linux reference is $QUELSOR_BUILD/cli/quelsor-cli (built here when missing); the Windows
# build goes to $QUELSOR_MINGW_BUILD (default build-mingw), its Wine prefix inside it.
set -euo pipefail
source "$(dirname "$0")/common.sh"

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }
leave_out=${QUELSOR_WINDOWS_LEAVE_OUT:-}
build_only=0
while [ $# -gt 0 ]; do
  case $1 in
    --leave-out) leave_out="$leave_out,${2:?--leave-out needs a list of commands}"; shift 2 ;;
    --leave-out=*) leave_out="$leave_out,${1#*=}"; shift ;;
    --build-only) build_only=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "test-windows.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
done
left_out() { [[ ",$leave_out," == *",$1,"* ]]; }

quelsor_ensure_packages --no-install-recommends "${QUELSOR_WINDOWS_PACKAGES[@]}"
jobs=$(nproc)
mingw_build=${QUELSOR_MINGW_BUILD:-$QUELSOR_ROOT/build-mingw}
started=$SECONDS

# 1. The cross-build: optimised without debug information (-O2: GCC 12's -O3 warns falsely about
# overlapping copies inside std::string).
quelsor_build "$mingw_build" --toolchain "$QUELSOR_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DQUELSOR_WERROR=ON \
  -DQUELSOR_BUILD_GUI=OFF -DQUELSOR_BUILD_BENCH=OFF
built=$SECONDS
[ "$build_only" -eq 0 ] || exit 0

# 2. Wine: a prefix of our own, its server stopped at the end (only this prefix's).
source "$QUELSOR_ROOT/scripts/wine.sh"
quelsor_wine_setup "$mingw_build/wine-prefix"
wine=$QUELSOR_WINE
trap quelsor_wine_stop EXIT

# The private sound server of the sound checks (5.), up from here: the unit tests of the sound
# backend need one for Wine's PulseAudio driver to load, as Windows needs its audio service.
sound_dir="$mingw_build/sound-test"
rm -rf "$sound_dir"
mkdir -p "$sound_dir"
source "$QUELSOR_ROOT/scripts/private-pulse.sh"
start_sound_server() { quelsor_start_private_pulse "$sound_dir" "link_a=Liaison A été" "link_b=Liaison B été"; }
background=()
stop_sound() {
  local pid
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${background[@]}"; do wait "$pid" 2>/dev/null || true; done
  background=()
}
trap 'stop_sound; quelsor_stop_private_pulse; quelsor_wine_stop' EXIT
start_sound_server

# 3. The unit tests under Wine (one CTest test per suite).
(cd "$mingw_build" && ctest --output-on-failure -j "$jobs" -L unit)
unit_tested=$SECONDS

# 4. quelsor-cli.exe against the Linux quelsor-cli.
linux_cli="$QUELSOR_BUILD/cli/quelsor-cli"
if [ ! -x "$linux_cli" ]; then
  [ -f "$QUELSOR_BUILD/build.ninja" ] || cmake -S "$QUELSOR_ROOT" -B "$QUELSOR_BUILD" -G Ninja
  cmake --build "$QUELSOR_BUILD" --target quelsor-cli
fi
windows_cli="$mingw_build/cli/quelsor-cli.exe"

# The shared inputs, in a folder with spaces and accents on Wine's C: drive.
folder_name="Données été"
linux_dir="$WINEPREFIX/drive_c/Essais Quelsor/$folder_name"
windows_dir="C:\\Essais Quelsor\\$folder_name"
rm -rf "$WINEPREFIX/drive_c/Essais Quelsor"
mkdir -p "$linux_dir"
out="$mingw_build/compare"
rm -rf "$out"
mkdir -p "$out"

# The sample configuration as a Windows editor saves it: Windows-1252, CRLF.
iconv -f UTF-8 -t CP1252 "$QUELSOR_ROOT/examples/quelsor.ini" | sed 's/$/\r/' \
  >"$linux_dir/quelsor réglages.ini"
# Recordings: a command with every DTMF character, and the sample device's answers, each
# followed by silence and one more tone, which closes the answer.
"$linux_cli" generate -o "$linux_dir/tonalités.wav" '0123456789*#ABCD'
"$linux_cli" generate -o "$linux_dir/réponse 1234.wav" '78D1CA1C#....0'
"$linux_cli" generate -o "$linux_dir/réponse 2580.wav" 'CCCD6D7A83#....0'

passed=0
failed=0
windows_reruns=0
skipped=()
fail() {
  echo "FAIL $*" >&2
  failed=$((failed + 1))
}

# run_windows CASE_DIR ARGS...: quelsor-cli.exe ARGS under Wine, its output in CASE_DIR/windows.out
# and windows.err; sets windows_code to its exit code.
run_windows() {
  local case_dir=$1
  shift
  windows_code=0
  "$wine" "$windows_cli" "$@" >"$case_dir/windows.out" 2>"$case_dir/windows.err" || windows_code=$?
}

# compare NAME ARGS...: runs both programs with ARGS, where @D@ stands for the input folder
# (with its separator), @S@ for the platform's separator and @P@ for "linux-" or "windows-"
# (names of files the commands write); compares exit codes, stdout, stderr and every file
# written. In stderr, which names files, the folder becomes @D@ and Windows separators '/'.
compare() {
  local name=$1 command=$2
  shift
  if left_out "$command"; then
    skipped+=("$name")
    return
  fi
  local linux_args=() windows_args=() arg
  for arg in "$@"; do
    local l=${arg//@D@/$linux_dir/} w=${arg//@D@/$windows_dir\\}
    l=${l//@S@//}
    w=${w//@S@/\\}
    linux_args+=("${l//@P@/linux-}")
    windows_args+=("${w//@P@/windows-}")
  done
  local case_dir="$out/$name"
  mkdir -p "$case_dir"
  local linux_code=0 windows_code
  "$linux_cli" "${linux_args[@]}" >"$case_dir/linux.out" 2>"$case_dir/linux.err" || linux_code=$?
  run_windows "$case_dir" "${windows_args[@]}"
  # quelsor-cli never fails without saying why. A failure with no output at all is Wine not
  # starting the program (seen once in a CI run, never here in hundreds of runs): run it once
  # more, and say so.
  if [ "$windows_code" -ne 0 ] && [ ! -s "$case_dir/windows.out" ] && [ ! -s "$case_dir/windows.err" ]; then
    echo "note: $name: Wine ended quelsor-cli.exe with exit code $windows_code and no output; run again" >&2
    windows_reruns=$((windows_reruns + 1))
    run_windows "$case_dir" "${windows_args[@]}"
  fi
  local ok=1 stream
  [ "$linux_code" -eq "$windows_code" ] || { fail "$name: exit code $linux_code on Linux, $windows_code on Windows"; ok=0; }
  for stream in out err; do
    local raw="$case_dir/windows.$stream"
    # Every line end on Windows is CRLF, and there is no other CR.
    if ! perl -0777 -ne 'exit(/(?<!\r)\n|\r(?!\n)/ ? 1 : 0)' "$raw"; then
      fail "$name: Windows std$stream does not end its lines with CRLF"
      ok=0
    fi
    local windows_text linux_text
    windows_text=$(sed 's/\r$//' "$raw"; echo .)
    linux_text=$(cat "$case_dir/linux.$stream"; echo .)
    if [ "$stream" = err ]; then
      windows_text=${windows_text//"$windows_dir\\"/@D@}
      windows_text=${windows_text//\\//}
      linux_text=${linux_text//"$linux_dir/"/@D@}
    fi
    printf '%s' "${windows_text%.}" >"$case_dir/windows.$stream.txt"
    printf '%s' "${linux_text%.}" >"$case_dir/linux.$stream.txt"
    if ! cmp -s "$case_dir/linux.$stream.txt" "$case_dir/windows.$stream.txt"; then
      fail "$name: std$stream differs"
      diff "$case_dir/linux.$stream.txt" "$case_dir/windows.$stream.txt" | head -10 >&2 || true
      ok=0
    fi
  done
  local written
  for written in "$linux_dir"/linux-*; do
    [ -e "$written" ] || continue
    local twin="$linux_dir/windows-${written##*/linux-}"
    if ! cmp -s "$written" "$twin"; then
      fail "$name: ${written##*/linux-} differs (or Windows did not write it)"
      ok=0
    fi
    rm -f "$written" "$twin"
  done
  [ "$ok" -eq 1 ] && passed=$((passed + 1))
  return 0
}

compare help --help
compare generate-help generate --help
compare generate generate -o '@D@@P@commande été.wav' '1234 Etat general'
compare generate-all generate -o '@D@@P@toutes les touches.wav' '0123456789*#ABCDé.x'
compare generate-missing-folder generate -o '@D@manquant@S@x.wav' 1234
compare filters filters
compare fft fft '@D@tonalités.wav'
compare detect detect --trace '@D@tonalités.wav'
compare detect-threshold detect --threshold 185 '@D@réponse 1234.wav'
compare config config '@D@quelsor réglages.ini'
compare config-missing config '@D@absent.ini'
compare formula-tension formula --cell Z1=120 'Z1/10'
compare formula-mean formula --cell Z4=125 --cell Z5=131 '(Z4+Z5)/20'
compare formula-arithmetic formula --cell Z3=-4000 --cell Z7=0.1 'sqrt(Z7*2)+Z3/100*3-(Z7^3)'
compare formula-no-cell formula 'Z9+1'
compare answer-0 answer --config '@D@quelsor réglages.ini' --request 0 78D1CA1C#
compare answer-1-debug answer --config '@D@quelsor réglages.ini' --request 1 --debug CCCD6D7A83#
compare answer-2 answer --config '@D@quelsor réglages.ini' --request 2 'D4A2D2#' '*5#'
compare answer-wrong-count answer --config '@D@quelsor réglages.ini' --request 0 78D1#
compare decode-0 decode --config '@D@quelsor réglages.ini' --request 0 '@D@réponse 1234.wav'
compare decode-1-debug decode --config '@D@quelsor réglages.ini' --request 1 --debug '@D@réponse 2580.wav'

compared=$SECONDS

# 5. The sound commands under Wine: WASAPI through Wine's PulseAudio driver, on the private
# server of two links (a null sink and its monitor remapped as an input, both described with
# accents), the defaults on the second, the commands told to use the first. quelsor-cli.exe and the Linux
# quelsor-cli answer each other over it, and the server is killed and started again under them.
windows_ini="$windows_dir\\quelsor réglages.ini"
linux_ini="$linux_dir/quelsor réglages.ini"
windows_pair=(--input "Liaison A été input" --output "Liaison A été")
linux_pair=(--input link_a_in --output link_a)

# check NAME CONDITION...: counts a sound check as passed when the command CONDITION succeeds.
check() {
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else fail "$name"; fi
}
# said FILE TEXT COUNT SECONDS: waits until FILE holds COUNT lines with TEXT (at most SECONDS).
said() {
  local deadline=$((SECONDS + $4)) count
  while count=$(grep -c -F -- "$2" "$1" 2>/dev/null || true); [ "${count:-0}" -lt "$3" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}
# simulate_in PROGRAM LOG OPTIONS...: the remote device in the background (PROGRAM is linux or
# windows), its stderr in LOG; waits until it listens.
simulate_in() {
  local program=$1 log=$2
  shift 2
  if [ "$program" = linux ]; then
    (cd "$sound_dir" && exec "$linux_cli" simulate --answer 1234=78D1CA1C# "$@") >/dev/null 2>"$log" &
  else
    (cd "$sound_dir" && exec "$wine" "$windows_cli" simulate --answer 1234=78D1CA1C# "$@") >/dev/null 2>"$log" &
  fi
  background+=($!)
  said "$log" "simulate: listening" 1 20 || { echo "simulate on $program does not listen:" >&2; cat "$log" >&2; return 1; }
}
# request_in PROGRAM NAME ARGS...: one request of item 0, its outputs in $sound_dir/NAME.*; sets
# request_code. A request that gets no answer is asked once more, as poll's retries would, and
# counted: the null-sink link itself drops a third of a second of audio now and then (seen with
# both programs listening, a few times a minute), which cuts a command in two.
link_retries=0
request_in() {
  request_once "$@"
  if [ "$request_code" -eq 1 ]; then
    echo "note: $2: no answer (the link dropped audio?); asked again" >&2
    link_retries=$((link_retries + 1))
    request_once "$@"
  fi
}
request_once() {
  local program=$1 name=$2
  shift 2
  request_code=0
  if [ "$program" = linux ]; then
    (cd "$sound_dir" && "$linux_cli" request --config "$linux_ini" --request 0 --timeout 15 "$@") \
      >"$sound_dir/$name.out" 2>"$sound_dir/$name.err" || request_code=$?
  else
    (cd "$sound_dir" && "$wine" "$windows_cli" request --config "$windows_ini" --request 0 --timeout 15 "$@") \
      >"$sound_dir/$name.out" 2>"$sound_dir/$name.err" || request_code=$?
  fi
}
answered() {
  [ "$request_code" -eq 0 ] && grep -q "Moteur 1=Marche" "$sound_dir/$1.out" ||
    { echo "$1: exit $request_code" >&2; cat "$sound_dir/$1.out" "$sound_dir/$1.err" >&2; return 1; }
}

if left_out sound; then
  skipped+=(sound)
else
  # The device list: both links, by their descriptions, the defaults marked.
  "$wine" "$windows_cli" devices >"$sound_dir/devices.out" 2>"$sound_dir/devices.err" || true
  devices_listed() {
    local line
    for line in "in   .*  Liaison A été input" "in   .*  Liaison B été input" "out   .*  Liaison A été" \
      "out   .*  Liaison B été" "in \* " "out \* "; do
      grep -q -E "^$line" "$sound_dir/devices.out" ||
        { echo "devices: no line '$line':" >&2; cat "$sound_dir/devices.out" "$sound_dir/devices.err" >&2; return 1; }
    done
  }
  check "sound: devices lists both links" devices_listed

  # A Windows request answered by the Linux device, the pair chosen by option, then by the
  # configuration's Entree and Sortie (a part of the description is enough).
  simulate_in linux "$sound_dir/simulate-linux.err" "${linux_pair[@]}" --once
  request_in windows windows-request "${windows_pair[@]}"
  check "sound: Windows request, Linux simulate" answered windows-request
  stop_sound
  sed -e 's/^Entree=.*/Entree=liaison a été input/' -e 's/^Sortie=.*/Sortie=Liaison A/' \
    "$QUELSOR_ROOT/examples/quelsor.ini" | iconv -f UTF-8 -t CP1252 | sed 's/$/\r/' >"$linux_dir/liaison A.ini"
  simulate_in linux "$sound_dir/simulate-linux.err" "${linux_pair[@]}" --once
  windows_ini_saved=$windows_ini
  windows_ini="$windows_dir\\liaison A.ini"
  request_in windows windows-request-ini
  windows_ini=$windows_ini_saved
  check "sound: Windows request on the devices of Entree and Sortie" answered windows-request-ini
  stop_sound

  # A Linux request answered by the Windows device, which then survives a server restart.
  simulate_log="$sound_dir/simulate-windows.err"
  simulate_in windows "$simulate_log" "${windows_pair[@]}"
  request_in linux linux-request "${linux_pair[@]}"
  check "sound: Linux request, Windows simulate" answered linux-request
  quelsor_stop_private_pulse KILL
  check "sound: Windows simulate says it lost its input" said "$simulate_log" "simulate: input lost, retrying" 1 10
  sleep 1
  restarted=$EPOCHREALTIME
  start_sound_server
  server_flows=$(awk -v a="$restarted" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  if said "$simulate_log" "simulate: listening" 2 30; then
    passed=$((passed + 1))
    simulate_back=$(awk -v a="$restarted" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  else
    fail "sound: Windows simulate does not listen again after the restart"
    cat "$simulate_log" >&2
  fi
  request_in linux linux-request-again "${linux_pair[@]}"
  check "sound: Linux request, Windows simulate after the restart" answered linux-request-again
  stop_sound

  # A Windows request whose server dies while it listens ends with the layer's message.
  (cd "$sound_dir" && exec "$wine" "$windows_cli" request --config "$windows_ini" --request 0 --timeout 30 \
    --format json "${windows_pair[@]}") >"$sound_dir/lost.out" 2>"$sound_dir/lost.err" &
  lost_pid=$!
  sleep 4
  quelsor_stop_private_pulse KILL
  killed=$EPOCHREALTIME
  lost_code=0
  wait "$lost_pid" || lost_code=$?
  lost_after=$(awk -v a="$killed" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  request_lost() {
    [ "$lost_code" -eq 2 ] && grep -q -F "Error handling DirectSound notifications. " "$sound_dir/lost.err" &&
      grep -q -F "quelsor-cli request: the sound input was lost" "$sound_dir/lost.err" &&
      grep -q -F '"status":"error"' "$sound_dir/lost.out" ||
      { echo "request on a lost server: exit $lost_code" >&2; cat "$sound_dir/lost.out" "$sound_dir/lost.err" >&2; return 1; }
  }
  check "sound: Windows request whose server dies exits 2 with the message" request_lost
  start_sound_server

  # poll.exe across a restart: ok, error, ok records in one process.
  simulate_in linux "$sound_dir/simulate-linux.err" "${linux_pair[@]}"
  records="$linux_dir/poll.jsonl"
  rm -f "$records"
  (cd "$sound_dir" && exec "$wine" "$windows_cli" poll --config "$windows_ini" --request 0 --every 10s \
    --count 3 --retries 1 --timeout 8 --jsonl "$windows_dir\\poll.jsonl" "${windows_pair[@]}") \
    >/dev/null 2>"$sound_dir/poll.err" &
  poll_pid=$!
  poll_statuses=""
  if said "$records" '"status":"ok"' 2 30; then
    quelsor_stop_private_pulse KILL
    if said "$records" '"status":"error"' 1 30; then
      start_sound_server
      said "$records" '"status":"ok"' 4 40 || true
    fi
  fi
  poll_code=0
  for _ in $(seq 150); do kill -0 "$poll_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$poll_pid" 2>/dev/null || true
  wait "$poll_pid" || poll_code=$?
  poll_statuses=$(sed -n 's/.*"status":"\([a-z]*\)".*/\1/p' "$records" 2>/dev/null | tr '\n' ' ' || true)
  poll_recovered() {
    [ "$poll_code" -eq 0 ] && [ "$poll_statuses" = "ok ok error ok ok " ] ||
      { echo "poll: exit $poll_code, statuses '$poll_statuses'" >&2; cat "$records" "$sound_dir/poll.err" >&2; return 1; }
  }
  check "sound: poll.exe gives ok, error, ok records across a restart" poll_recovered
  stop_sound
  quelsor_stop_private_pulse
fi

finished=$SECONDS
echo
echo "Windows build: cross-build $((built - started)) s, unit tests under Wine $((unit_tested - built)) s," \
  "command comparisons $((compared - unit_tested)) s, sound checks $((finished - compared)) s"
[ -z "${simulate_back:-}" ] || echo "Windows simulate listening again ${simulate_back} s after its server was started" \
  "again (whose inputs flowed after ${server_flows} s); a Windows request ended ${lost_after:-?} s after its server died"
[ "$windows_reruns" -eq 0 ] || echo "Run again after Wine failed silently: $windows_reruns"
[ "$link_retries" -eq 0 ] || echo "Requests asked again after no answer: $link_retries"
[ ${#skipped[@]} -eq 0 ] || echo "Left out (--leave-out ${leave_out#,}): ${skipped[*]}"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
