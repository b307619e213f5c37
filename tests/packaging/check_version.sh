#!/usr/bin/env bash
# ostrovel --version answers without a display and without opening a window:
# no DISPLAY, no Wayland, and the X11 platform forced, which would abort if Qt
# were started.
# Usage: check_version.sh OSTROVEL VERSION
set -euo pipefail
out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$1" --version 2>&1) && status=0 || status=$?
if [ "$status" -ne 0 ] || [ "$out" != "ostrovel $2" ]; then
  echo "FAIL: status $status, output: $out"
  exit 1
fi
echo "PASS: $out"
