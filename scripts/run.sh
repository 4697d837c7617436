#!/usr/bin/env bash
# Installs what is missing, builds and starts Quelsor.
set -euo pipefail
source "$(dirname "$0")/common.sh"

quelsor_ensure_packages "${QUELSOR_RUN_PACKAGES[@]}"
quelsor_build "$QUELSOR_BUILD" -DQUELSOR_BUILD_TESTS=OFF -DQUELSOR_BUILD_BENCH=OFF

cli="$QUELSOR_BUILD/cli/quelsor-cli"
if [ -x "$QUELSOR_BUILD/app/quelsor" ]; then
  exec "$QUELSOR_BUILD/app/quelsor" "$@"
fi

# Until the window is built: a short demonstration of the signal chain with quelsor-cli.
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
echo "Generating the command file of the request 1234 ..."
"$cli" generate -o "$demo/tmp_dtmf.wav" "1234 Etat general"
echo "Decoding it back:"
"$cli" detect --trace "$demo/tmp_dtmf.wav"
