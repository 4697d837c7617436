#!/usr/bin/env bash
# Installs what is missing, builds, runs the whole test suite (the audio tests over the virtual
# sound link, which this script starts when no sound server answers), the Debian package's and
# the Windows build's tests (test-package.sh, test-windows.sh), then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the tests that run threads under
# ThreadSanitizer (those builds, the Windows cross-builds and a compile of the Qt sound backend
# run beside the tests), then each fuzzer for a short while.
set -euo pipefail
source "$(dirname "$0")/common.sh"

# Every package of every stage now: the builds beside the tests must not wait on apt-get's lock.
quelsor_ensure_packages "${QUELSOR_TEST_PACKAGES[@]}" "${QUELSOR_PACKAGE_PACKAGES[@]}"
quelsor_ensure_packages --no-install-recommends "${QUELSOR_WINDOWS_PACKAGES[@]}" nsis
jobs=$(nproc)

# The time of each stage, printed at the end: phase NAME closes the stage before and names the
# next one.
phases=()
phase_name=
phase_start=$SECONDS
phase() {
  [ -z "$phase_name" ] || phases+=("$phase_name $((SECONDS - phase_start)) s")
  phase_name=$1
  phase_start=$SECONDS
}

# A locale with a decimal comma, so the tests can check that numbers ignore the locale.
if [ "$(id -u)" -eq 0 ] && ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; then
  localedef -i fr_FR -f UTF-8 fr_FR.UTF-8 || echo "test.sh: could not build the fr_FR locale" >&2
fi

# The audio tests need a sound server. Start the virtual link when none answers and stop it at
# the end; under CI an audio test that finds no server fails instead of skipping.
link_started=0
stop_link() { [ "$link_started" -eq 1 ] && "$QUELSOR_ROOT/scripts/virtual-link.sh" stop >/dev/null || true; }
trap stop_link EXIT
if ! pactl info >/dev/null 2>&1; then
  if "$QUELSOR_ROOT/scripts/virtual-link.sh" start; then
    link_started=1
  else
    echo "test.sh: no sound server; the audio tests will skip (or fail under CI=true)" >&2
  fi
fi

phase build
quelsor_build "$QUELSOR_BUILD" -DQUELSOR_WERROR=ON

# The Windows cross-builds, the sanitizer builds, the Qt backend and the fuzzers compile beside
# the tests at the lowest priority: the audio tests mostly wait on real time. The output goes to
# a log, shown when a build fails.
#  - the Windows builds first, as their tests come next: the headless one and, with a ready Qt
#    for Windows, the window (a Qt to build is built by the window's check itself). A failure
#    here is only noted: the Windows checks then build again in the foreground and show it;
#  - AddressSanitizer and UndefinedBehaviorSanitizer: the headless core and its unit tests (the
#    window's tests run in the main build);
#  - ThreadSanitizer: only the suites with tests labelled "threads" (the capture buffer, the
#    sound layer, the simulated link, the filters of a recording on threads; tests/CMakeLists.txt
#    says which, and why not the sound backends);
#  - the Qt Multimedia sound backend, the one macOS builds use: compiled only, so a
#    change to the sound interface cannot leave it behind unnoticed (nothing here can run it);
#  - the fuzzers (clang), run at the end.
side_log="$QUELSOR_BUILD/side-builds.log"
windows_built="$QUELSOR_BUILD/windows-builds.done"
rm -f "$windows_built"
side_builds() {
  # The idle class as well as the lowest priority: a compiler then waits whenever a test's player
  # or recorder, or its sound server, has something to do.
  chrt --idle -p 0 "$BASHPID" >/dev/null || true
  { nice -n 19 "$QUELSOR_ROOT/scripts/test-windows.sh" --build-only &&
    nice -n 19 "$QUELSOR_ROOT/scripts/test-windows-window.sh" --build-only; } ||
    echo "test.sh: a Windows build failed beside the tests; its check builds it again" >&2
  touch "$windows_built"
  quelsor_configure "$QUELSOR_ROOT/build-sanitize" -DQUELSOR_WERROR=ON -DQUELSOR_SANITIZE=ON \
    -DQUELSOR_BUILD_GUI=OFF -DQUELSOR_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  nice -n 19 cmake --build "$QUELSOR_ROOT/build-sanitize" -j "$jobs"
  quelsor_configure "$QUELSOR_ROOT/build-tsan" -DQUELSOR_WERROR=ON -DQUELSOR_SANITIZE=thread \
    -DQUELSOR_BUILD_GUI=OFF -DQUELSOR_BUILD_BENCH=OFF
  nice -n 19 cmake --build "$QUELSOR_ROOT/build-tsan" -j "$jobs" --target test_audio test_sound test_sim
  quelsor_configure "$QUELSOR_ROOT/build-qt-backend" -DQUELSOR_WERROR=ON \
    -DQUELSOR_SOUND_BACKEND=qt -DQUELSOR_BUILD_TESTS=OFF -DQUELSOR_BUILD_BENCH=OFF
  nice -n 19 cmake --build "$QUELSOR_ROOT/build-qt-backend" -j "$jobs" --target quelsor_device
  if command -v clang++ >/dev/null; then
    CMAKE_BUILD_PARALLEL_LEVEL=$jobs nice -n 19 "$QUELSOR_ROOT/scripts/fuzz.sh" --build-only
  fi
}
# In a process group of its own (set -m), so that an early exit stops the compilers as well.
set -m
(set -e; side_builds) >"$side_log" 2>&1 &
side_pid=$!
set +m
trap 'kill -- -"$side_pid" 2>/dev/null || true; stop_link' EXIT

phase ctest
(cd "$QUELSOR_BUILD" && ctest --output-on-failure -j "$jobs")

# The Debian package, installed in a throw-away root (its window uses the sound link), then the
# Windows build under Wine, compared with this build.
phase package
"$QUELSOR_ROOT/scripts/test-package.sh"
phase windows
while [ ! -e "$windows_built" ] && kill -0 "$side_pid" 2>/dev/null; do sleep 1; done
"$QUELSOR_ROOT/scripts/test-windows.sh"
phase windows-window
"$QUELSOR_ROOT/scripts/test-windows-window.sh"

phase side-builds
if ! wait "$side_pid"; then
  tail -n 60 "$side_log" >&2
  echo "test.sh: a sanitizer, Qt backend or fuzzer build failed (whole log: $side_log)" >&2
  exit 1
fi
phase sanitizers
(cd "$QUELSOR_ROOT/build-sanitize" && ctest --output-on-failure -j "$jobs" -L unit)
(cd "$QUELSOR_ROOT/build-tsan" && ctest --output-on-failure -j "$jobs" -L threads)

# A short fuzzing round over the formula evaluator, the configuration loader, the decoder and
# the reading of recordings.
if command -v clang++ >/dev/null; then
  phase fuzz
  "$QUELSOR_ROOT/scripts/fuzz.sh" 10
fi
phase end
summary=$(printf '%s, ' "${phases[@]}")
echo "test.sh: passed in $SECONDS s (${summary%, })"
