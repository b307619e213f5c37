#!/usr/bin/env bash
# Installs the Debian packages Ostrovel needs (only the missing ones), then
# configures and builds. Safe to run again.
# Usage: scripts/setup.sh [--test] [preset]   (--test: also the tools the tests drive)
set -euo pipefail
cd "$(dirname "$0")/.."
with_tests=0
if [ "${1:-}" = "--test" ]; then with_tests=1; shift; fi
preset="${1:-default}"

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libjpeg62-turbo-dev libwmf-dev
  libspng-dev libwebp-dev libtiff-dev libheif-dev libjxl-dev
  fonts-dejavu-core fonts-liberation2 dpkg-dev qt6-translations-l10n
)
# A real X server and tools to check the window from outside; GNU parallel
# for the test of the README's recipe for many files; Debian's checkers for
# the package, its metadata and man pages.
# libc-l10n: a German libc, to check that the reasons stay English.
# The formats' own encoders make the test pictures of PNG, WebP, TIFF, HEIC,
# AVIF and JPEG XL (libtiff-tools: tiffcp; libvips-tools: the bench's
# comparison).
test_packages=(xvfb xauth xdotool x11-utils imagemagick parallel
  lintian appstream desktop-file-utils groff-base man-db libc-l10n
  webp libheif-examples libavif-bin libjxl-tools libtiff-tools libvips-tools)
((with_tests)) && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

werror=()
[ "${CI:-}" = "true" ] && werror=(-DOSTROVEL_WERROR=ON)
cmake --preset "$preset" "${werror[@]}" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
