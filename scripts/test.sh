#!/usr/bin/env bash
# Sets up, builds (in CI, CI=true, with warnings as errors) and runs every test, end-to-end ones
# included; then the sanitizer runs over the test areas listed below (an area is a test folder's
# name, which is its tests' label): the address (and undefined behaviour) sanitizer over the
# libraries' areas (media, engine, infra, lumocclient, event, sserver) and the programs' areas; the
# thread sanitizer over the libraries with worker threads, not over the windows' areas (infra's
# widgets, common, console, eventserver, lumoc, player, settings ...): Qt is not built for it, so its
# reports there are Qt's own hand-overs it cannot see (an event the engine thread posts to a window
# and the window reads). SANITIZE=0 skips the sanitizer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)" --timeout 300)
if [ "${SANITIZE:-1}" != "0" ]; then
  # One build and one run per sanitizer, over every area it covers.
  SANITIZE_AREAS="media engine infra lumocclient common console lumoc player event eventserver settings kestopages sserver servermanager" \
    bash scripts/test_sanitized.sh address
  SANITIZE_AREAS="media engine lumocclient event sserver" bash scripts/test_sanitized.sh thread
fi
