#!/usr/bin/env bash
# Takes the README's screenshot of the game in play: a traced run with a fixed seed and
# key script, frame 2100 written as a bitmap and turned into docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
build/stackmoor-trace --seed 11 --frames 2100 --input tools/screenshot-keys.txt --shots "$shots:2100" >/dev/null
python3 tools/bmp2png.py "$shots/frame-002100.bmp" docs/screenshot.png
echo "docs/screenshot.png"
