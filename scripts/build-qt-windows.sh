#!/usr/bin/env bash
# Builds Qt for 64-bit Windows with Debian's MinGW-w64 (posix threads) from Debian's own source
# package of qt6-base, the same version as the qt6-base-dev installed here (6.4.2 on Debian 12),
# whose moc, rcc and uic the cross-build uses, and installs it into PREFIX.
#
# What is built: the Core, Gui, Widgets and Test modules as DLLs and the "windows" and
# "offscreen" platform plugins (with the Windows styles). What is left out, to shorten the build
# and because the window does not use it: OpenGL (and with it dynamic OpenGL), Vulkan, Direct2D,
# tablet input, networking, SQL, D-Bus, XML, printing, Concurrent, ICU, zstd, JPEG and GIF.
#
# Debian's source leaves out src/3rdparty/wintab (its licence), which the tablet support of the
# Windows plugin includes: with tablet input off the plugin does not need it. Dynamic OpenGL must
# be turned off together with OpenGL, otherwise the plugin is compiled against OpenGL classes the
# configuration removed; and DirectWrite 3 together with Direct2D, whose font database Qt Gui
# compiles only with Direct2D while the plugin uses it with DirectWrite 3 alone (the default
# GDI font database and the DirectWrite font engine stay). No change to the source is needed;
# Debian's own patches (security fixes among them) are applied as the package does.
#
# Usage: scripts/build-qt-windows.sh PREFIX
#   The work folder (source and build, a few GB) is $QUELSOR_QT_WORK (default PREFIX.work), removed
#   after a successful install unless QUELSOR_QT_KEEP_WORK=1. As root, a deb-src entry for the
#   machine's own Debian archive and suites is added when none is there
#   (/etc/apt/sources.list.d/quelsor-deb-src.sources). 20 minutes to an hour on 2 cores.
set -euo pipefail
source "$(dirname "$0")/common.sh"

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }
case ${1:-} in
  -h | --help) usage; exit 0 ;;
  '') usage >&2; exit 2 ;;
esac
[ $# -eq 1 ] || { usage >&2; exit 2; }
mkdir -p "$1"
prefix=$(cd "$1" && pwd)
work=${QUELSOR_QT_WORK:-$prefix.work}
started=$SECONDS
say() { echo "build-qt-windows.sh: $*" >&2; }

quelsor_ensure_packages qt6-base-dev dpkg-dev perl xz-utils cmake ninja-build
quelsor_ensure_packages --no-install-recommends g++-mingw-w64-x86-64-posix

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)

# Adds deb-src entries beside the machine's deb822 Debian entries, then reads the source lists.
enable_deb_src() {
  local file out=/etc/apt/sources.list.d/quelsor-deb-src.sources
  if [ "$(id -u)" -ne 0 ]; then
    say "apt-get source needs a deb-src line for this machine's archive; as root, add one, e.g."
    say "  sed 's/^Types: deb\$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources"
    return 1
  fi
  : >"$out.new"
  for file in /etc/apt/sources.list.d/*.sources; do
    [ "$file" = "$out" ] && continue
    grep -q 'debian' "$file" || continue
    awk '/^Types:/ { print "Types: deb-src"; next } { print }' "$file" >>"$out.new"
    echo >>"$out.new"
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list >"${out%.sources}.list"
  fi
  mv "$out.new" "$out"
  apt-get update -qq
}

# 1. The source, with Debian's patches applied.
source_dir=$work/qt6-base-$version
if [ ! -f "$source_dir/.quelsor-unpacked" ]; then
  rm -rf "$work"
  mkdir -p "$work/download"
  say "fetching qt6-base $version from Debian's archive"
  if ! (cd "$work/download" && apt-get source -qq --download-only "qt6-base=$version" 2>/dev/null); then
    enable_deb_src
    (cd "$work/download" && apt-get source -qq --download-only "qt6-base=$version" 2>&1 |
      grep -v 'Download is performed unsandboxed' >&2 || true)
    [ -n "$(find "$work/download" -name 'qt6-base_*.dsc')" ] || { say "apt-get source failed"; exit 1; }
  fi
  # apt-get checked the files against the archive's signed index; dpkg-source's own warnings
  # (no key for the uploader's signature, a patch touching one file twice) go to the log.
  dpkg-source -x "$work/download"/qt6-base_*.dsc "$source_dir" >"$work/unpack.log" 2>&1 ||
    { cat "$work/unpack.log" >&2; say "could not unpack the source"; exit 1; }
  touch "$source_dir/.quelsor-unpacked"
fi

# 2. Configure and build. The toolchain is the project's, without its -static (Qt is built as
# DLLs, which use the MinGW runtime DLLs installed beside them).
build_dir=$work/build
cat >"$work/toolchain.cmake" <<EOF
include("$QUELSOR_ROOT/cmake/mingw-w64-x86_64.cmake")
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
set(CMAKE_CROSSCOMPILING_EMULATOR "")
EOF
features=(tabletevent opengl opengl_dynamic dynamicgl vulkan direct2d directwrite3 network sql
  dbus xml printsupport concurrent icu zstd jpeg gif)
feature_options=()
for f in "${features[@]}"; do feature_options+=("-DFEATURE_$f=OFF"); done
# Configured again when the options changed since the last run.
options="${feature_options[*]}"
if [ ! -f "$build_dir/build.ninja" ] || [ "$(cat "$build_dir/quelsor-options" 2>/dev/null)" != "$options" ]; then
  say "configuring"
  cmake -S "$source_dir" -B "$build_dir" -G Ninja --toolchain "$work/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DINPUT_opengl=no "${feature_options[@]}" \
    >"$work/configure.log" 2>&1 || { tail -40 "$work/configure.log" >&2; say "configure failed ($work/configure.log)"; exit 1; }
  echo "$options" >"$build_dir/quelsor-options"
fi
say "building (20 minutes to an hour on 2 cores; the log is $work/build.log)"
if ! cmake --build "$build_dir" >"$work/build.log" 2>&1; then
  grep -A12 '^FAILED:' "$work/build.log" | grep -v '^\[' | head -60 >&2
  say "build failed ($work/build.log)"
  exit 1
fi
cmake --install "$build_dir" >"$work/install.log" 2>&1

# 3. What the copy is, for those who receive it.
minutes=$(((SECONDS - started + 59) / 60))
cat >"$prefix/quelsor-qt-build.txt" <<EOF
Qt $version for x86_64-w64-mingw32 ($(x86_64-w64-mingw32-g++-posix -dumpversion), posix threads),
built by scripts/build-qt-windows.sh on $(date -u +%Y-%m-%d) in $minutes min.
Modules: Core, Gui, Widgets, Test. Platform plugins: windows, offscreen.
Turned off: ${features[*]}.
EOF
[ "${QUELSOR_QT_KEEP_WORK:-0}" = 1 ] || rm -rf "$work"
say "Qt $version for Windows installed into $prefix in $minutes min"
