#!/usr/bin/env bash
# Runs random schedules of the network session in simulated time (tests/net/sim/): a
# dozen programs at most, with loss, duplication, delay, partitions, freezes, kills,
# restarts, leaves and random commands, the invariants checked after every step.
#
#   bash scripts/simulate.sh [--sanitized] --seeds N [--from S] [--print]
#
# runs the schedules S to S+N-1 (S defaults to 1). A failing schedule prints its seed,
# what went wrong and a replay of every step; `--seeds 1 --from SEED --print` runs that
# one again and shows each step as it happens. Ends non-zero when any schedule failed.
# The schedules run in an optimized build; with --sanitized first, in the build with the
# address and undefined-behaviour sanitizers (slower, and it finds more).
#
#   bash scripts/simulate.sh --stalls N
#
# measures streams through loss instead, beside plain ENet (tests/net/sim/stalls.h).
set -euo pipefail
cd "$(dirname "$0")/.."
sim=net_sim_fast
if [ "${1:-}" = --sanitized ]; then
  sim=net_sim
  shift
fi
TOLVANE_BUILD_TARGETS=$sim bash scripts/build.sh
exec build/tests/$sim "$@"
