#!/usr/bin/env bash
# Sets up (packages, build) and starts Ostrovel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
exec build/bin/ostrovel "$@"
