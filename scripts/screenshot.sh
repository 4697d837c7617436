#!/usr/bin/env bash
# Starts Quelsor under a virtual X server (xvfb-run) with the sample configuration and saves a
# screenshot of its window.
#   scripts/screenshot.sh OUT.png
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ $# -ne 1 ] || [ "$1" = "-h" ] || [ "$1" = "--help" ]; then
  echo "usage: scripts/screenshot.sh OUT.png" >&2
  exit 2
fi
out=$(realpath -m "$1")

quelsor_ensure_packages "${QUELSOR_RUN_PACKAGES[@]}" xvfb xauth x11-utils imagemagick
if [ ! -f "$QUELSOR_BUILD/build.ninja" ]; then
  cmake -S "$QUELSOR_ROOT" -B "$QUELSOR_BUILD" -G Ninja
fi
cmake --build "$QUELSOR_BUILD" --target quelsor

# The program reads the .ini beside itself: run a copy in a scratch folder, beside the sample
# configuration.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$QUELSOR_BUILD/app/quelsor" "$work/"
cp "$QUELSOR_ROOT/examples/quelsor.ini" "$work/"

cat >"$work/shot.sh" <<'INNER'
set -euo pipefail
cd "$1"
./quelsor &
pid=$!
# Wait for the window to be mapped, then let it paint.
for _ in $(seq 1 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Quelsor  Version'; then break; fi
  sleep 0.1
done
sleep 1
id=$(xwininfo -root -tree | grep '"Quelsor  Version' | head -n 1 | awk '{print $1}')
import -window "$id" "$2"
kill "$pid"
wait "$pid" || true
INNER

xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" bash "$work/shot.sh" "$work" "$out"
echo "Saved $out"
