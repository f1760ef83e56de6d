#!/usr/bin/env bash
# Fuzzes every file parser of the runtime, the BASIC compiler's parser and the language server with libFuzzer (clang, address and
# undefined-behaviour sanitizers) in build-fuzz/.
#
#   bash scripts/fuzz.sh [seconds] [harness...]
#
# Each harness (default: all of them) runs for `seconds` (default 60), one after the
# other in a single process, on a copy of its corpus in fuzz/corpus/<harness>, so the
# committed corpus stays as it is. Crashing inputs are written to
# build-fuzz/findings/<harness>/; the script ends non-zero when any harness crashed.
# Copy a crash into fuzz/corpus/<harness>/ once it is fixed: the normal build replays
# every corpus file in its tests.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${1:-60}
shift || true
ALL=(bmp wave archive packed data_file key_script midi_length parser object_file lsp movie net)
if [ $# -gt 0 ]; then HARNESSES=("$@"); else HARNESSES=("${ALL[@]}"); fi

bash scripts/install-deps.sh
# clang and the compiler runtime (libFuzzer and the sanitizers) of Debian's default clang.
missing=()
for p in clang libclang-rt-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "fuzz: installing ${missing[*]}"
  SUDO=
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q >/dev/null
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

BUILD=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVANE_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
targets=()
for h in "${HARNESSES[@]}"; do targets+=("${h}_fuzz"); done
cmake --build "$BUILD" -j2 --target "${targets[@]}"

# The harnesses' temporary files go to a folder of their own.
export TMPDIR="$PWD/$BUILD/fuzz-tmp"
export UBSAN_OPTIONS=print_stacktrace=1
failed=()
summary=()
for h in "${HARNESSES[@]}"; do
  work="$BUILD/fuzz-work/$h"
  findings="$BUILD/findings/$h"
  rm -rf "$work" "$findings" "$TMPDIR"
  mkdir -p "$work" "$findings" "$TMPDIR"
  if [ -d "fuzz/corpus/$h" ]; then cp -r "fuzz/corpus/$h/." "$work/"; fi
  # The parser also starts from the game and the examples, which are real programs.
  if [ "$h" = parser ] || [ "$h" = lsp ]; then cp game/*.bas examples/*.bas "$work/"; fi
  # Movies start from the small movies the build makes in every container.
  if [ "$h" = movie ]; then cp "$BUILD"/fuzz/movie-seeds/* "$work/"; fi
  log="$BUILD/findings/$h.log"
  echo "fuzz: $h for ${SECONDS_EACH}s (log $log)"
  status=0
  "$BUILD/fuzz/${h}_fuzz" "$work" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
  line="$h: ${execs:-?} executions, ${cov:-no coverage line}"
  if [ "$status" -ne 0 ]; then
    line="$line, CRASHED (status $status): $(ls "$findings" | tr '\n' ' ')"
    failed+=("$h")
  fi
  echo "fuzz: $line"
  summary+=("$line")
done

echo
echo "fuzz summary (${SECONDS_EACH}s per harness):"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: crashes in ${failed[*]}; see $BUILD/findings/" >&2
  exit 1
fi
