#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
cd build
ctest --output-on-failure -j2 "$@"
