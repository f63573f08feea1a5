#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)" --timeout 300
