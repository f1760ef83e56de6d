#!/usr/bin/env bash
# Installs what is missing, builds the game (and what it needs), and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
TOLVANE_BUILD_TARGETS="${TOLVANE_BUILD_TARGETS:-stackmoor}" bash scripts/build.sh
exec build/stackmoor "$@"
