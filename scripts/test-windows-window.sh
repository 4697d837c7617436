#!/usr/bin/env bash
# The window on Windows, tested under Wine: cross-builds quelsor.exe and the window's tests with
# MinGW-w64 and a Qt built for Windows, runs the tests on Qt's offscreen platform (those of the
# real link on a private sound server, the remote device played by the Linux simulate), then starts
# quelsor.exe on the "windows" platform under a virtual X server and checks its window (the
# caption and the 782 x 488 client area), keeping a screenshot.
#
# Qt for Windows: QUELSOR_QT_WINDOWS=DIR (a prefix made by scripts/build-qt-windows.sh) or an
# archive of one (unpacked into the cache), else the team's copy in ../shared/qt-windows (a
# prefix, or a folder holding such an archive), else the cache folder $QUELSOR_QT_CACHE (default
# .cache/qt-windows in the source tree) when a copy is there, else one built into that cache the
# first time (20 minutes to an hour on 2 cores; not with QUELSOR_BUILD_QT_WINDOWS=0). And then
# the installer (cpack -G NSIS), installed, run and uninstalled under Wine. Without Qt, the
# window is not tested and the script says so loudly, and fails under CI=true.
#
# Usage: scripts/test-windows-window.sh [--build-only]   (the build goes to $QUELSOR_MINGW_BUILD,
#   default build-mingw, the folder of test-windows.sh, whose headless part it keeps: only the
#   window and its tests are compiled after that script; the screenshot to screenshot-windows.png
#   inside it)
#   --build-only  the cross-build only, and only with a ready Qt (test.sh runs it beside the
#                 Linux tests): no Qt is built and nothing is tested.
set -euo pipefail
source "$(dirname "$0")/common.sh"

build_only=0
case ${1:-} in
  -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
  --build-only) build_only=1 ;;
  '') ;;
  *) echo "test-windows-window.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
esac

quelsor_ensure_packages --no-install-recommends "${QUELSOR_WINDOWS_PACKAGES[@]}"
quelsor_ensure_packages xvfb xauth x11-utils imagemagick
cache=${QUELSOR_QT_CACHE:-$QUELSOR_ROOT/.cache/qt-windows}
qt=${QUELSOR_QT_WINDOWS:-}
# The team's ready copy, beside the source tree, when there is one.
shared=$QUELSOR_ROOT/../shared/qt-windows
if [ -z "$qt" ] && [ -f "$shared/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  qt=$shared
elif [ -z "$qt" ] && [ -d "$shared" ]; then
  qt=$(find "$shared" -maxdepth 1 -name '*.tar*' | sort | tail -1)
fi
# An archive of a copy (its files at the top or in one folder) is unpacked into the cache.
if [ -n "$qt" ] && [ -f "$qt" ]; then
  archive=$qt
  if [ "$(cat "$cache/.archive" 2>/dev/null)" != "$(stat -c '%n %s %Y' "$archive")" ]; then
    rm -rf "$cache"
    mkdir -p "$cache"
    tar -xf "$archive" -C "$cache"
    config=$(find "$cache" -maxdepth 5 -path '*/lib/cmake/Qt6/Qt6Config.cmake' | head -1)
    [ -n "$config" ] || { echo "test-windows-window.sh: no Qt in $archive" >&2; exit 2; }
    stat -c '%n %s %Y' "$archive" >"$cache/.archive"
  fi
  config=$(find "$cache" -maxdepth 5 -path '*/lib/cmake/Qt6/Qt6Config.cmake' | head -1)
  qt=${config%/lib/cmake/Qt6/Qt6Config.cmake}
fi
if [ -z "$qt" ] && [ -f "$cache/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  qt=$cache
elif [ -z "$qt" ] && [ "$build_only" -eq 1 ]; then
  echo "test-windows-window.sh: no ready Qt for Windows: the window is not built now" >&2
  exit 0
elif [ -z "$qt" ] && [ "${QUELSOR_BUILD_QT_WINDOWS:-1}" = 1 ]; then
  echo "test-windows-window.sh: no Qt for Windows given: building one into $cache (once)" >&2
  "$QUELSOR_ROOT/scripts/build-qt-windows.sh" "$cache" && qt=$cache
fi
if [ -z "$qt" ]; then
  cat >&2 <<'EOF'
************************************************************************************************
test-windows-window.sh: THE WINDOWS WINDOW IS NOT TESTED: no Qt for Windows here. Give one with
  QUELSOR_QT_WINDOWS=DIR (or an archive), or let scripts/build-qt-windows.sh build one into the
  cache (it was not built: QUELSOR_BUILD_QT_WINDOWS=0, or its build failed, see above).
************************************************************************************************
EOF
  [ "${CI:-}" != true ] || exit 1
  exit 0
fi
qt=$(cd "$qt" && pwd)
quelsor_ensure_packages --no-install-recommends nsis # makensis, for the installer
[ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "test-windows-window.sh: no Qt in $qt" >&2; exit 2; }

build=${QUELSOR_MINGW_BUILD:-$QUELSOR_ROOT/build-mingw}
started=$SECONDS
# test-windows.sh's folder is configured without the window: it is turned on (nothing else of
# the build changes with it).
if [ -f "$build/build.ninja" ]; then
  cmake -S "$QUELSOR_ROOT" -B "$build" -DQUELSOR_BUILD_GUI=ON "-DQUELSOR_QT_WINDOWS=$qt" >/dev/null
fi
quelsor_build "$build" --toolchain "$QUELSOR_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DQUELSOR_WERROR=ON \
  -DQUELSOR_BUILD_GUI=ON -DQUELSOR_BUILD_BENCH=OFF "-DQUELSOR_QT_WINDOWS=$qt"
built=$SECONDS
[ "$build_only" -eq 0 ] || exit 0

# Qt's DLLs and plugins from the copy, the MinGW runtime DLLs they link from Debian's packages.
runtime_dirs=("$qt/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
  /usr/x86_64-w64-mingw32/lib)
winepath=
for d in "${runtime_dirs[@]}"; do winepath+="Z:${d//\//\\};"; done
export WINEPATH=${winepath%;} QT_PLUGIN_PATH="Z:${qt//\//\\}\\plugins"

passed=0
failed=0
check() {
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else echo "FAIL $name" >&2; failed=$((failed + 1)); fi
}

# 1. The window's tests, offscreen, in the prefix of the headless tests' kind (no display).
source "$QUELSOR_ROOT/scripts/wine.sh"
quelsor_wine_setup "$build/wine-prefix"
check "the window's tests under Wine" bash -c \
  'cd "$1" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -L gui' _ "$build"
window_tested=$SECONDS

# 2. The window over a sound link (WASAPI through Wine's PulseAudio driver, on a private
# server): the worked example answered by the Linux quelsor-cli simulate, started here (Wine
# starts Linux programs but cannot follow them), then the window's real-link tests, their device
# the Windows simulate.
linux_cli="$QUELSOR_BUILD/cli/quelsor-cli"
if [ ! -x "$linux_cli" ]; then
  [ -f "$QUELSOR_BUILD/build.ninja" ] || cmake -S "$QUELSOR_ROOT" -B "$QUELSOR_BUILD" -G Ninja
  cmake --build "$QUELSOR_BUILD" --target quelsor-cli
fi
link_steps() (
  source "$QUELSOR_ROOT/scripts/private-pulse.sh"
  local dir=$build/sound-link
  rm -rf "$dir"
  mkdir -p "$dir"
  quelsor_start_private_pulse "$dir" "link=Liaison été"
  "$linux_cli" simulate --answer 1234=78D1CA1C# >/dev/null 2>"$dir/simulate.err" &
  local simulate=$!
  trap 'kill "$simulate" 2>/dev/null || true; quelsor_stop_private_pulse' EXIT
  for _ in $(seq 100); do grep -q 'simulate: listening' "$dir/simulate.err" && break; sleep 0.1; done
  export QT_QPA_PLATFORM=offscreen
  QUELSOR_DEVICE_LISTENING=1 "$QUELSOR_WINE" "$build/tests/audio_window/test_audio_window.exe" \
    --gtest_filter=RealLinkWindowTest.WorkedExampleAnsweredBySimulate ||
    { echo "the Linux simulate said:" >&2; cat "$dir/simulate.err" >&2; exit 1; }
  kill "$simulate"
  cd "$build" && ctest --output-on-failure -R '^test_audio_window$'
)
check "the window over a sound link" link_steps
quelsor_wine_stop
tested=$SECONDS

# on_display PREFIX FUNCTION: FUNCTION run in a subshell beside a virtual X server of its own,
# in a fresh Wine prefix PREFIX started on that display (Wine picks its display driver when a
# prefix's server starts). FUNCTION fails with `exit 1` (set -e does not hold in a subshell whose
# status is tested); every Wine program of the prefix is ended afterwards.
on_display() {
  local prefix=$1 display status=0
  shift
  for display in $(seq 90 99); do [ -e "/tmp/.X11-unix/X$display" ] || break; done
  Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  (
    # No menu entries of Wine's own in the user's desktop (winemenubuilder).
    export DISPLAY=":$display" WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=C.UTF-8 \
      WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    rm -rf "$WINEPREFIX"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    "$QUELSOR_WINE" wineboot --init >/dev/null 2>&1
    "$@"
  ) || status=$?
  WINEPREFIX=$prefix "$QUELSOR_WINESERVER" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  return "$status"
}
need() { "$@" || { echo "failed: $*" >&2; exit 1; }; }
# quelsor_window: the X id of Quelsor's main window, once it is there (at most 30 s).
quelsor_window() {
  local id
  for _ in $(seq 300); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"Quelsor  Version/ { print $1; exit }')
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "quelsor.exe opened no window in 30 s" >&2
  return 1
}
# close_quelsor: closes it as Windows does (WM_CLOSE), and waits for it to end.
close_quelsor() {
  need "$QUELSOR_WINE" taskkill /IM quelsor.exe >/dev/null 2>&1
  for _ in $(seq 100); do pgrep -f 'quelsor\.exe' >/dev/null || break; sleep 0.1; done
}

# 3. quelsor.exe on the windows platform, a portable copy beside a quelsor.ini without a
# threshold: the window writes its own there when it is closed, and nothing to the user's folder.
shot="$build/screenshot-windows.png"
window_steps() {
  local work=$build/window-run id size
  rm -rf "$work"
  mkdir -p "$work"
  cp "$build/app/quelsor.exe" "$work/"
  sed '/^Seuil=/d' "$QUELSOR_ROOT/examples/quelsor.ini" >"$work/quelsor.ini"
  (cd "$work" && exec "$QUELSOR_WINE" ./quelsor.exe >quelsor.out 2>&1) &
  disown # ended with the prefix's programs, without a "Killed" line
  id=$(quelsor_window) || { cat "$work/quelsor.out" >&2; exit 1; }
  sleep 2 # the first paint
  size=$(xwininfo -id "$id" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
  import -window "$id" "$shot"
  echo "quelsor.exe's window: $size"
  [ "$size" = 782x488 ] || { echo "its client area is not 782x488" >&2; exit 1; }
  close_quelsor
  grep -q '^Seuil=' "$work/quelsor.ini" ||
    { echo "the portable copy's threshold was not saved at close" >&2; exit 1; }
  [ -z "$(find "$WINEPREFIX/drive_c/users" -path '*Quelsor/quelsor.ini')" ] ||
    { echo "a portable copy wrote to the user's folder" >&2; exit 1; }
}
check "quelsor.exe opens its window on the windows platform and saves beside itself" \
  on_display "$build/wine-display" window_steps
window_done=$SECONDS

# 4. The installer: made by CPack with makensis, installed silently into a folder with spaces and
# accents, its programs run, then uninstalled silently.
rm -f "$build"/quelsor-*-win64.exe
(cd "$build" && cpack -G NSIS >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; echo "FAIL cpack -G NSIS" >&2; exit 1; }
installer=$(echo "$build"/quelsor-*-win64.exe)
installer_steps() {
  unset WINEPATH QT_PLUGIN_PATH # the installed programs bring their own
  local dir="C:\\Program Files\\Quelsor été" unix="$WINEPREFIX/drive_c/Program Files/Quelsor été"
  local user_ini="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Quelsor/quelsor.ini"
  local menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quelsor"
  # /D= takes the rest of the command line unquoted, which cmd passes on as it is; the
  # installer needs a display even when silent.
  "$QUELSOR_WINE" cmd /c "Z:${installer//\//\\} /S /D=$dir"
  "$QUELSOR_WINESERVER" -w
  for f in bin/quelsor.exe bin/quelsor-cli.exe bin/Qt6Widgets.dll bin/platforms/qwindows.dll \
    bin/libstdc++-6.dll share/quelsor/quelsor.ini Uninstall.exe; do
    [ -f "$unix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
  done
  need test -f "$menu/Quelsor.lnk"
  # The installed quelsor-cli.exe decodes a recording of the sample device's answer.
  local cli="$dir\\bin\\quelsor-cli.exe" ini="$dir\\share\\quelsor\\quelsor.ini"
  need "$QUELSOR_WINE" "$cli" generate -o 'C:\réponse.wav' '78D1CA1C#....0' >/dev/null
  "$QUELSOR_WINE" "$cli" decode --config "$ini" --request 0 'C:\réponse.wav' 2>/dev/null |
    tr -d '\r' | grep -qx 'Moteur 1=Marche' || { echo "the installed decode failed" >&2; exit 1; }
  # The installed window: started, closed, its threshold saved in the user's folder.
  "$QUELSOR_WINE" "$dir\\bin\\quelsor.exe" >/dev/null 2>&1 &
  disown
  quelsor_window >/dev/null || exit 1
  sleep 1
  close_quelsor
  grep -q '^Seuil=' "$user_ini" || { echo "no threshold saved in $user_ini" >&2; exit 1; }
  # The uninstaller runs a copy of itself from the temporary folder: wait for its folder and
  # its Start-menu entry to go, in that order.
  "$QUELSOR_WINE" "$dir\\Uninstall.exe" /S
  for _ in $(seq 300); do [ -e "$unix" ] || [ -e "$menu" ] || break; sleep 0.1; done
  [ ! -e "$unix" ] || { echo "left behind:" >&2; find "$unix" >&2; exit 1; }
  [ ! -e "$menu" ] || { echo "the Start-menu entry is left behind" >&2; exit 1; }
  need test -f "$user_ini" # the user's own configuration stays, as on Windows
}
check "the installer installs, runs and uninstalls Quelsor" \
  on_display "$build/wine-install" installer_steps
finished=$SECONDS

echo
echo "Windows window: cross-build $((built - started)) s, window tests under Wine" \
  "$((window_tested - built)) s, over the sound link $((tested - window_tested)) s," \
  "window start $((window_done - tested)) s, installer $((finished - window_done)) s" \
  "($(($(stat -c %s "$installer") / 1024)) KiB); screenshot: $shot"
echo "windows window: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
