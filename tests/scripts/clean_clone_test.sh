#!/usr/bin/env bash
# The README's two commands, run from a fresh clone of the committed tree: the test
# command builds the compiler's front-end tests and runs a quick subset, the run command
# builds the game and starts it for a few frames. Only what the two need is built: the
# rest of the tree is built and tested by the test run this check is part of.
set -euo pipefail
src="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone -q "$src" "$work/clone"
cd "$work/clone"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
# Test command, limited to one quick test so the check does not recurse.
TOLVANE_BUILD_TARGETS=compiler_front_tests bash scripts/test.sh -R '^Lexer\.'
# Run command, ended by the frame cap.
TOLVANE_FRAMES=10 TOLVANE_NO_WAIT=1 bash scripts/run.sh
# Programs the runtime starts on behalf of a BASIC program are installed by the set-up.
command -v zenity >/dev/null || { echo "clean clone: zenity (the file dialog) is missing after set-up" >&2; exit 1; }
echo "clean clone: both commands work"
