#!/usr/bin/env bash
# Installs what is missing and builds into build/ (Ninja, CMake): everything, or only the
# targets TOLVANE_BUILD_TARGETS names (separated by spaces) and what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# shellcheck disable=SC2086  # the names are words
cmake --build build -j"$(nproc)" ${TOLVANE_BUILD_TARGETS:+--target $TOLVANE_BUILD_TARGETS}
