#!/usr/bin/env bash
# Installs what is missing, builds, runs the whole test suite, then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
source "$(dirname "$0")/common.sh"

quelsor_ensure_packages "${QUELSOR_TEST_PACKAGES[@]}"
jobs=$(nproc)

quelsor_build "$QUELSOR_BUILD" -DQUELSOR_WERROR=ON
(cd "$QUELSOR_BUILD" && ctest --output-on-failure -j "$jobs")

quelsor_build "$QUELSOR_ROOT/build-sanitize" -DQUELSOR_WERROR=ON -DQUELSOR_SANITIZE=ON \
  -DQUELSOR_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd "$QUELSOR_ROOT/build-sanitize" && ctest --output-on-failure -j "$jobs" -L unit)
