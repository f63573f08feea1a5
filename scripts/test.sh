#!/usr/bin/env bash
# Sets up, builds and runs every test, then the sanitizer runs: the address (and undefined
# behaviour) sanitizer over the media, engine, console and player tests, the thread sanitizer over
# the media and engine tests (Qt is not built for it, so its reports on the windows' code are
# mostly Qt's own locking it cannot see). SANITIZE=0 skips the sanitizer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)" --timeout 300)
if [ "${SANITIZE:-1}" != "0" ]; then
  # One build and one run per sanitizer, over every area it covers.
  SANITIZE_AREAS="media engine console lumoc player event eventserver settings kestopages sserver servermanager" \
    bash scripts/test_sanitized.sh address
  SANITIZE_AREAS="media engine event eventserver sserver" bash scripts/test_sanitized.sh thread
fi
