#!/usr/bin/env bash
# Sets up, builds (in CI, CI=true, with warnings as errors) and runs every test, end-to-end ones
# included; then the sanitizer runs over the test areas listed below (an area is a test folder's
# name, which is its tests' label): the address (and undefined behaviour) sanitizer over the
# libraries with threads or parsers (media, engine, infra, lumocclient, event, sserver) and the
# programs' areas; the thread sanitizer over the libraries alone and the event console. Qt is not
# built for the thread sanitizer, so the windows' areas (console, lumoc, player, settings ...) are
# left out of that run: its reports there would mostly be Qt's own locking, which it cannot see.
# SANITIZE=0 skips the sanitizer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)" --timeout 300)
if [ "${SANITIZE:-1}" != "0" ]; then
  # One build and one run per sanitizer, over every area it covers.
  SANITIZE_AREAS="media engine infra lumocclient console lumoc player event eventserver settings kestopages sserver servermanager" \
    bash scripts/test_sanitized.sh address
  SANITIZE_AREAS="media engine infra lumocclient event eventserver sserver" bash scripts/test_sanitized.sh thread
fi
