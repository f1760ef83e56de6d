#!/usr/bin/env bash
# The time `tolvanec build` takes to make a 50-line program (bench/build_time.bas), as
# a user waits for it, for the desktop and, where the build has the browser kit, with
# --web: the first build in a fresh cache (it precompiles the runtime's header), the
# median and fastest of ROUNDS builds of the program changed each time (its title, so
# that the cache cannot hide the compile and link), and a build of the unchanged program
# (which only copies the cached product).
#   bash bench/build_time.sh [TOLVANEC [ROUNDS]]      (default build/compiler/tolvanec, 5)
# The goals: under 1 s for the desktop, under 2 s for the browser.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tolvanec=$(realpath "${1:-$here/../build/compiler/tolvanec}")
rounds=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

seconds() {  # the wall time of a command and the processor time it and its children took, in seconds
  local TIMEFORMAT='%R %U %S' t
  t=$( { time "$@" >/dev/null 2>"$work/err"; } 2>&1 ) || { cat "$work/err" >&2; exit 1; }
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' <<<"$t"
}
program() { sed "1s/.*/SETTINGS TITLE \"Bench $1\", WIDTH 640, HEIGHT 480/" "$here/build_time.bas" > "$work/game.bas"; }

measure() {  # name, then the options of build
  local name=$1 first again times=()
  shift
  program 0
  first=$(seconds "$tolvanec" build "$work/game.bas" -o "$work/out-$name" "$@")
  for round in $(seq 1 "$rounds"); do
    program "$round"
    times+=("$(seconds "$tolvanec" build "$work/game.bas" -o "$work/out-$name" "$@")")
  done
  again=$(seconds "$tolvanec" build "$work/game.bas" -o "$work/out-$name" "$@")
  mapfile -t sorted < <(printf '%s\n' "${times[@]}" | sort -n)
  read -r median medianCpu <<<"${sorted[$((rounds / 2))]}"
  printf '%-6s first %s s; changed program: median %s s (processor %s s), fastest %s s; unchanged %s s\n' \
    "$name" "${first% *}" "$median" "$medianCpu" "${sorted[0]% *}" "${again% *}"
}

measure native
if grep -q '^emxx=.' "$(dirname "$tolvanec")/tolvanec-web.txt" 2>/dev/null || [ -d "$(dirname "$tolvanec")/../share/tolvane/web" ]; then
  measure web --web
else
  echo "web      (this tolvanec has no browser kit)"
fi
