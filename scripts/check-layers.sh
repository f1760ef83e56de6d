#!/usr/bin/env bash
# Checks the include edges between the runtime's folders: every edge must be one of the
# allowed ones below, and the folders must not include each other in a cycle. Programs
# (the game, the examples) include only the public header tolvane.h.
#
# Layers, bottom to top: platform; core; the subsystems (files, sound, gfx2d, input,
# pathfinding, net, gfx3d), which may use some others as listed; debug (the debug agent,
# on core and platform); app; then the public
# header, the game, tools and tests.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed="
core platform
files core
files platform
sound core
sound files
sound gfx2d
sound input
sound platform
gfx2d core
gfx2d files
gfx2d platform
input core
input gfx2d
input platform
pathfinding core
net core
net platform
gfx3d core
gfx3d files
gfx3d gfx2d
gfx3d platform
app core
app files
app sound
app gfx2d
app input
app pathfinding
app net
app gfx3d
app platform
app debug
debug core
debug platform
"

fail=0
edges=$(grep -rHoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z0-9_]+/' runtime --include='*.h' --include='*.cpp' |
    sed -E 's|^runtime/([a-z0-9_]+)/[^:]*:.*"([a-z0-9_]+)/$|\1 \2|' | grep -v '^runtime/' |
    awk '$1 != $2' | sort -u)
while read -r from to; do
    [ -z "$from" ] && continue
    if ! grep -qx "$from $to" <<<"$allowed"; then
        echo "not allowed: runtime/$from includes runtime/$to:"
        grep -rlE "#[[:space:]]*include[[:space:]]+\"$to/" "runtime/$from" | sed 's/^/    /'
        fail=1
    fi
done <<<"$edges"

# A cycle among the folders, whatever the list allows.
if [ -n "$edges" ] && ! tsort <<<"$edges" >/dev/null 2>&1; then
    echo "the runtime's folders include each other in a cycle:"
    tsort <<<"$edges" 2>&1 >/dev/null | sed 's/^/    /'
    fail=1
fi

# Programs reach the runtime only through its public header.
for f in $(find game examples -name '*.cpp' -o -name '*.h' 2>/dev/null); do
    bad=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$f" | grep -vE '"(tolvane\.h|game/[^"]+)"' || true)
    if [ -n "$bad" ]; then
        echo "$f includes more than tolvane.h:"
        sed 's/^/    /' <<<"$bad"
        fail=1
    fi
done

# The public header stays free of OpenGL and SDL, also through what it includes.
if command -v "${CXX:-c++}" >/dev/null; then
    deps=$("${CXX:-c++}" -std=c++20 -Iruntime -M runtime/tolvane.h 2>/dev/null || true)
    if grep -qE '/GL/|/SDL2?/' <<<"$deps"; then
        echo "runtime/tolvane.h pulls in OpenGL or SDL headers:"
        grep -oE '[^ ]*/(GL|SDL2?)/[^ ]*' <<<"$deps" | sed 's/^/    /'
        fail=1
    fi
fi

[ "$fail" = 0 ] && echo "include layers are in order ($(wc -l <<<"$edges") edges between folders)"
exit "$fail"
