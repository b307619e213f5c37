#!/usr/bin/env bash
# Sets up (packages, build) and runs the whole test suite without a display:
# once in the normal build, once in the address + undefined-behaviour
# sanitizer build; then the threaded export's tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

scripts/setup.sh --test default
ctest --preset default -j"$jobs"

scripts/setup.sh --test asan
ctest --preset asan -j"$jobs"

scripts/setup.sh --test tsan
ctest --preset tsan -j"$jobs"
