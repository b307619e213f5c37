#!/usr/bin/env bash
# Sets up (packages, build) and runs the whole test suite without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test default
export QT_QPA_PLATFORM=offscreen
ctest --preset default -j"$(nproc)"
