#!/usr/bin/env bash
# Runs the release tests on a busy machine: as many busy processes as there are cores run beside
# ctest for the whole run, and the suite runs several rounds. Every test that failed in any
# round is listed with its round; the exit status is non-zero when one did.
#
#   tools/stress-tests.sh [--rounds N] [--load N] [--jobs N] [--flavour F] [-- CTEST-ARGUMENTS...]
#
#   --flavour F the build whose tests run: release (the default), asan or tsan (whose tests the
#               test command runs with -L threads)
#   --rounds N  rounds of the suite (STRESS_ROUNDS, 3 by default)
#   --load N    busy processes beside the tests (STRESS_LOAD, the number of cores by default)
#   --jobs N    tests ctest runs at once (STRESS_JOBS, the number of cores by default)
#   after --    passed on to ctest, e.g. -R Sound to stress a few tests, or -L xvfb (run under
#               xvfb-run with QT_QPA_PLATFORM=xcb for those)
#
# It builds nothing: build/release (or the flavour's folder) must be built (tools/build.sh). The
# demo card is made at build/demo-card by the release build's maker when ORV_DEMO_CARD does not
# name one. The logs of every round are kept in a folder whose path is printed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

rounds=${STRESS_ROUNDS:-3}
load=${STRESS_LOAD:-$(nproc)}
jobs=${STRESS_JOBS:-$(nproc)}
flavour=release
ctest_args=()
usage() { sed -n '2,18s/^# \{0,1\}//p' "$0"; }
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=${2:-}; shift 2 ;;
    --load) load=${2:-}; shift 2 ;;
    --jobs) jobs=${2:-}; shift 2 ;;
    --flavour) flavour=${2:-}; shift 2 ;;
    --) shift; ctest_args=("$@"); break ;;
    -h|--help) usage; exit 0 ;;
    *) echo "unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done
for value in "$rounds" "$load" "$jobs"; do
  [[ "$value" =~ ^[0-9]+$ ]] || { echo "not a count: '$value'" >&2; exit 2; }
done
[ "$rounds" -ge 1 ] && [ "$jobs" -ge 1 ] || { echo "--rounds and --jobs must be at least 1" >&2; exit 2; }

case "$flavour" in
  release|asan|tsan) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
build=$root/build/$flavour
maker=$root/build/release/tools/make-demo-card
if [ ! -f "$build/CTestTestfile.cmake" ] || { [ "$flavour" = release ] && [ ! -x "$maker" ]; }; then
  echo "build/$flavour is not built: run tools/build.sh $flavour first (this script builds nothing)" >&2
  exit 2
fi

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# The map's web engine cannot use its sandbox as root (CI runs as root).
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
if [ -z "${ORV_DEMO_CARD:-}" ] && [ -x "$maker" ]; then
  export ORV_DEMO_CARD=$root/build/demo-card
  if [ ! -f "$ORV_DEMO_CARD.complete" ]; then
    echo "making the demo card: $ORV_DEMO_CARD"
    "$maker" "$ORV_DEMO_CARD" --force >/dev/null \
      && touch "$ORV_DEMO_CARD.complete" \
      || { echo "the demo card could not be made" >&2; exit 1; }
  fi
fi

logs=$(mktemp -d "${TMPDIR:-/tmp}/stress-tests.XXXXXX")
busy=()
stop_load() {
  local pid
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${busy[@]}"; do wait "$pid" 2>/dev/null; done
  busy=()
}
# The load ends with the script, however it ends.
trap stop_load EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# Each also ends on its own soon after the script is gone, should the script be killed outright.
for ((i = 0; i < load; ++i)); do
  ( trap - INT TERM; while kill -0 $$ 2>/dev/null; do for ((n = 0; n < 200000; ++n)); do :; done; done ) &
  busy+=($!)
done
echo "load: $load busy processes; $rounds rounds of ctest -j $jobs ${ctest_args[*]}; logs in $logs"

failures=()
for ((round = 1; round <= rounds; ++round)); do
  log=$logs/round-$round.log
  started=$(date +%s)
  ctest --test-dir "$build" -j "$jobs" --no-tests=error --output-on-failure "${ctest_args[@]}" >"$log" 2>&1
  status=$?
  seconds=$(($(date +%s) - started))
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1)
  echo "round $round: ${summary:-no test summary (ctest exit status $status)} in ${seconds} s"
  # "  12 - Suite.Name (Failed)" under "The following tests FAILED:".
  round_failed=0
  while read -r name; do
    [ -n "$name" ] || continue
    failures+=("round $round: $name")
    round_failed=1
  done < <(sed -n '/^The following tests FAILED:/,$p' "$log" | sed -nE 's/^[[:space:]]*[0-9]+ - (.*)$/\1/p')
  if [ "$status" -ne 0 ] && [ "$round_failed" -eq 0 ]; then
    failures+=("round $round: ctest ended with status $status (see $log)")
  fi
done

stop_load
if [ ${#failures[@]} -eq 0 ]; then
  echo "no test failed in $rounds rounds"
  exit 0
fi
echo "failed:"
printf '  %s\n' "${failures[@]}"
echo "their output is in $logs/round-N.log"
exit 1
