#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tempomere.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh program
build_dir=${BUILD_DIR:-build}
if [ -x "$build_dir/bin/tempomere" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Tempomere needs a display, and none is available; run it under a virtual one with: xvfb-run -a $build_dir/bin/tempomere" >&2
    exit 1
  fi
  exec "$build_dir/bin/tempomere" "$@"
fi
echo "The build did not produce $build_dir/bin/tempomere." >&2
exit 1
