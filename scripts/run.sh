#!/usr/bin/env bash
# Installs what is missing, builds and starts Quelsor.
set -euo pipefail
source "$(dirname "$0")/common.sh"

quelsor_ensure_packages "${QUELSOR_RUN_PACKAGES[@]}"
quelsor_build "$QUELSOR_BUILD" -DQUELSOR_BUILD_TESTS=OFF -DQUELSOR_BUILD_BENCH=OFF

# The program reads the configuration file beside itself (quelsor.ini) when there is one: start
# with the sample one. Its command and capture files (tmp_dtmf.wav, tmp.wav) go to the user's
# cache folder (~/.cache/Quelsor).
app_dir="$QUELSOR_BUILD/app"
if [ ! -f "$app_dir/quelsor.ini" ]; then
  cp "$QUELSOR_ROOT/examples/quelsor.ini" "$app_dir/quelsor.ini"
  echo "Copied the sample configuration to $app_dir/quelsor.ini"
fi
cd "$app_dir"
exec ./quelsor
