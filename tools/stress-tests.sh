#!/usr/bin/env bash
# Runs the tests of every flavour the test command runs on a busy machine: as many busy
# processes as there are cores run beside ctest for the whole run, and each round runs every
# flavour's tests as the test command selects them. Every test that failed in any round and
# flavour is listed; the exit status is non-zero when one did.
#
#   tools/stress-tests.sh [--rounds N] [--load N] [--jobs N] [--flavour F[,F...]] [-- CTEST-ARGUMENTS...]
#
#   --flavour F the flavours whose tests run, comma-separated or the option repeated (all three
#               by default): release (every test, then the tests labelled xvfb once more under
#               xvfb-run), asan (every test) and tsan (the tests labelled threads)
#   --rounds N  rounds of the suite (STRESS_ROUNDS, 3 by default)
#   --load N    busy processes beside the tests (STRESS_LOAD, the number of cores by default)
#   --jobs N    tests ctest runs at once (STRESS_JOBS, the number of cores by default); the
#               tests under xvfb-run share one X server and run one at a time, as in the test command
#   after --    passed on to every ctest run, beside the flavour's own selection, e.g. -R Sound
#               to stress a few tests; a flavour where they select nothing is passed over
#
# Each flavour is built first (tools/build.sh, which does nothing when the build is up to
# date), before the load starts. The demo card is made at build/demo-card by the release
# build's maker when ORV_DEMO_CARD does not name one. The logs of every round and flavour are
# kept in a folder whose path is printed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

rounds=${STRESS_ROUNDS:-3}
load=${STRESS_LOAD:-$(nproc)}
jobs=${STRESS_JOBS:-$(nproc)}
flavours=()
ctest_args=()
usage() { sed -n '2,23s/^# \{0,1\}//p' "$0"; }
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds|--load|--jobs|--flavour) [ $# -ge 2 ] || { echo "$1 needs a value" >&2; exit 2; } ;;
  esac
  case "$1" in
    --rounds) rounds=${2:-}; shift 2 ;;
    --load) load=${2:-}; shift 2 ;;
    --jobs) jobs=${2:-}; shift 2 ;;
    --flavour) IFS=, read -ra named <<<"${2:-}"; flavours+=("${named[@]}"); shift 2 ;;
    --) shift; ctest_args=("$@"); break ;;
    -h|--help) usage; exit 0 ;;
    *) echo "unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done
for value in "$rounds" "$load" "$jobs"; do
  [[ "$value" =~ ^[0-9]+$ ]] || { echo "not a count: '$value'" >&2; exit 2; }
done
[ "$rounds" -ge 1 ] && [ "$jobs" -ge 1 ] || { echo "--rounds and --jobs must be at least 1" >&2; exit 2; }
[ ${#flavours[@]} -gt 0 ] || flavours=(release asan tsan)
for flavour in "${flavours[@]}"; do
  case "$flavour" in
    release|asan|tsan) ;;
    *) echo "unknown flavour: '$flavour' (release, asan or tsan)" >&2; exit 2 ;;
  esac
done

logs=$(mktemp -d "${TMPDIR:-/tmp}/stress-tests.XXXXXX")
echo "logs in $logs"

# The builds come before the load, which would only slow them.
for flavour in "${flavours[@]}"; do
  echo "build $flavour"
  tools/build.sh "$flavour" >"$logs/build-$flavour.log" 2>&1 \
    || { tail -n 40 "$logs/build-$flavour.log"; echo "building $flavour failed" >&2; exit 1; }
done
maker=$root/build/release/tools/make-demo-card

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# The map's web engine cannot use its sandbox as root (CI runs as root).
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
if [ -z "${ORV_DEMO_CARD:-}" ]; then
  export ORV_DEMO_CARD=$root/build/demo-card
  if [ ! -f "$ORV_DEMO_CARD.complete" ]; then
    echo "making the demo card: $ORV_DEMO_CARD"
    { [ -x "$maker" ] || tools/build.sh release make-demo-card >"$logs/build-demo-card.log" 2>&1; } \
      && "$maker" "$ORV_DEMO_CARD" --force >/dev/null \
      && touch "$ORV_DEMO_CARD.complete" \
      || { echo "the demo card could not be made" >&2; exit 1; }
  fi
fi

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
echo "load: $load busy processes; $rounds rounds of ${flavours[*]} with ctest -j $jobs ${ctest_args[*]}"

failures=()
ran=0
# run_ctest NAME LOG CTEST-ARGUMENTS...: one ctest run of a round; its failures are listed under NAME.
run_ctest() {
  local name=$1 log=$2 started status seconds summary failed=0 test
  shift 2
  started=$(date +%s)
  "$@" --no-tests=error --output-on-failure "${ctest_args[@]}" >"$log" 2>&1
  status=$?
  seconds=$(($(date +%s) - started))
  if grep -q 'No tests were found' "$log"; then
    echo "$name: no tests selected"
    return
  fi
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1)
  echo "$name: ${summary:-no test summary (exit status $status)} in ${seconds} s"
  ran=$((ran + 1))
  # "  12 - Suite.Name (Failed)" under "The following tests FAILED:".
  while read -r test; do
    [ -n "$test" ] || continue
    failures+=("$name: $test")
    failed=1
  done < <(sed -n '/^The following tests FAILED:/,$p' "$log" | sed -nE 's/^[[:space:]]*[0-9]+ - (.*)$/\1/p')
  if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failures+=("$name: ctest ended with status $status (see $log)")
  fi
}

for ((round = 1; round <= rounds; ++round)); do
  for flavour in "${flavours[@]}"; do
    build=$root/build/$flavour
    case "$flavour" in
      release)
        run_ctest "round $round $flavour" "$logs/round-$round-$flavour.log" ctest --test-dir "$build" -j "$jobs"
        # The window's own frame, its placement and the outline need a window system.
        run_ctest "round $round $flavour xvfb" "$logs/round-$round-$flavour-xvfb.log" \
          env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" ctest --test-dir "$build" -L xvfb
        ;;
      asan) run_ctest "round $round $flavour" "$logs/round-$round-$flavour.log" ctest --test-dir "$build" -j "$jobs" ;;
      tsan) run_ctest "round $round $flavour" "$logs/round-$round-$flavour.log" ctest --test-dir "$build" -L threads -j "$jobs" ;;
    esac
  done
done

stop_load
if [ "$ran" -eq 0 ]; then
  echo "no flavour had a test to run" >&2
  exit 1
fi
if [ ${#failures[@]} -eq 0 ]; then
  echo "no test failed in $rounds rounds of ${flavours[*]}"
  exit 0
fi
echo "failed:"
printf '  %s\n' "${failures[@]}"
echo "their output is in $logs/round-N-FLAVOUR.log"
exit 1
