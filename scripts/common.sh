# Shared by run.sh and test.sh: the Debian packages the project needs and the build folders.
# shellcheck shell=bash

QUELSOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUELSOR_BUILD=${QUELSOR_BUILD:-$QUELSOR_ROOT/build}

# To build and run the program. The sound goes through PulseAudio's client library (libpulse-dev),
# which PipeWire's PulseAudio server serves as well; Qt Multimedia is kept for the build with
# QUELSOR_SOUND_BACKEND=qt.
QUELSOR_RUN_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-multimedia-dev
  qt6-qpa-plugins libqt6multimedia6 gstreamer1.0-plugins-base libpulse-dev pulseaudio
  pulseaudio-utils libmosquitto-dev libsndfile1-dev libsoxr-dev libcli11-dev)
# To build and run the tests, benchmarks, fuzzers and screenshots as well.
QUELSOR_TEST_PACKAGES=("${QUELSOR_RUN_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev locales xvfb xauth x11-utils imagemagick mosquitto mosquitto-clients
  openssl)
# The Windows cross-build and its tests under Wine (test-windows.sh), without recommends; CLI11's
# headers serve both builds.
QUELSOR_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix googletest wine64 libcli11-dev)
# The Debian package and its checks (test-package.sh).
QUELSOR_PACKAGE_PACKAGES=(dpkg-dev lintian fakeroot systemd logrotate)

# Installs the packages not yet installed (as root), or prints the apt-get line to run. A first
# argument --no-install-recommends is passed on to apt-get.
quelsor_ensure_packages() {
  local missing=() options=() p
  if [ "${1:-}" = --no-install-recommends ]; then
    options+=("$1")
    shift
  fi
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
  else
    echo "Some packages are missing. Install them with:" >&2
    echo "  sudo apt-get install -y ${options[*]} ${missing[*]}" >&2
    return 1
  fi
}

# Configures a build folder once. Extra arguments go to that first configure.
quelsor_configure() {
  local dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$QUELSOR_ROOT" -B "$dir" -G Ninja "$@"
  fi
}

# Configures (once) and builds a build folder. Extra arguments go to the first configure.
quelsor_build() {
  quelsor_configure "$@"
  cmake --build "$1"
}
