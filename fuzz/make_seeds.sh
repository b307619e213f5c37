#!/usr/bin/env bash
# Makes the committed seed corpora in fuzz/corpus again with the seed
# generator (fuzz/seeds), built in the given build folder.
# Usage: fuzz/make_seeds.sh [build-folder]    (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target ostrovel-make-seeds -j2
for target in jpeg bmp gif wmf settings; do
  rm -rf "${root:?}/fuzz/corpus/$target"
done
QT_QPA_PLATFORM=offscreen "$build/bin/ostrovel-make-seeds" "$root/fuzz/corpus"
