#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in their own
# build folder and runs each for SECONDS (default 60), printing the executions and the findings.
# The corpus grows in build-fuzz/corpus/<target>; crashing inputs land in
# build-fuzz/findings/<target>/ (only those of this run are counted). Exits non-zero when a target
# found something.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#     targets: fuzz_formula fuzz_config fuzz_decoder fuzz_recording
#   scripts/fuzz.sh --build-only     builds every target and the seeds, runs nothing
set -euo pipefail
source "$(dirname "$0")/common.sh"

build_only=0
if [ "${1:-}" = "--build-only" ]; then
  build_only=1
  shift
fi
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_formula fuzz_config fuzz_decoder fuzz_recording)
dir=${QUELSOR_FUZZ_BUILD:-$QUELSOR_ROOT/build-fuzz}

if ! command -v clang++ >/dev/null; then
  echo "clang++ is needed for the fuzzers (apt-get install clang libclang-rt-14-dev)" >&2
  exit 2
fi
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$QUELSOR_ROOT" -B "$dir" -G Ninja -DQUELSOR_FUZZ=ON \
    -DQUELSOR_BUILD_GUI=OFF -DQUELSOR_BUILD_TESTS=OFF -DQUELSOR_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
build_targets=("${targets[@]}")
[[ " ${targets[*]} " == *" fuzz_recording "* ]] && build_targets+=(make_recording_seeds)
cmake --build "$dir" --target "${build_targets[@]}"

# fuzz_recording's seeds: short recordings in every format, written once by libsndfile.
if [ -x "$dir/fuzz/make_recording_seeds" ] && [ ! -d "$dir/seeds/recording" ]; then
  mkdir -p "$dir/seeds/recording.new"
  "$dir/fuzz/make_recording_seeds" "$dir/seeds/recording.new"
  mv "$dir/seeds/recording.new" "$dir/seeds/recording"
fi
[ "$build_only" -eq 0 ] || exit 0

# Seed inputs (read only) and dictionary of each target.
seeds_of() {
  case $1 in
    fuzz_formula) echo "$QUELSOR_ROOT/fuzz/seeds/formula" ;;
    fuzz_config) echo "$QUELSOR_ROOT/examples" ;;
    fuzz_recording) echo "$dir/seeds/recording" ;;
  esac
}
dict_of() {
  case $1 in
    fuzz_formula) echo "$QUELSOR_ROOT/fuzz/formula.dict" ;;
    fuzz_config) echo "$QUELSOR_ROOT/fuzz/config.dict" ;;
  esac
}

status=0
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  findings="$dir/findings/$target"
  log="$dir/$target.log"
  mkdir -p "$corpus" "$findings"
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
    -artifact_prefix="$findings/")
  dict=$(dict_of "$target")
  [ -n "$dict" ] && args+=(-dict="$dict")
  dirs=("$corpus")
  seed=$(seeds_of "$target")
  [ -n "$seed" ] && dirs+=("$seed")
  marker="$dir/.started-$target"
  touch "$marker"
  rc=0
  # The codec libraries behind libsndfile leak on some malformed files: not ours to report.
  lsan=${LSAN_OPTIONS:-}
  [ "$target" = fuzz_recording ] && lsan="suppressions=$QUELSOR_ROOT/fuzz/recording.lsan.supp"
  LSAN_OPTIONS=$lsan "$dir/fuzz/$target" "${args[@]}" "${dirs[@]}" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  found=$(find "$findings" -type f -newer "$marker" | wc -l)
  printf '%-13s %s s, %s executions, corpus %s inputs, findings %s (exit %s)\n' "$target" \
    "$seconds" "${runs:-?}" "$(find "$corpus" -type f | wc -l)" "$found" "$rc"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    status=1
    grep -m 20 -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" >&2 || true
    echo "  full log: $log" >&2
  fi
done
exit $status
