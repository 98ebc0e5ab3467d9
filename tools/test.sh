#!/usr/bin/env bash
# Installs what is missing, builds every flavour and runs every test: the unit and GUI tests,
# the same non-GUI tests under AddressSanitizer and UndefinedBehaviorSanitizer, the tests of
# threads and locks under ThreadSanitizer, and a short
# run of each fuzz target (FUZZ_SECONDS, 30 by default) plus its kept regression inputs.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tools/install-deps.sh || { echo "installing the build dependencies failed" >&2; exit 1; }

passed=0
failed=0
record() {  # record NAME STATUS
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
count_ctest() {  # count_ctest LOG: adds the counts of a ctest run
  local line total nfail
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  nfail=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + total - nfail))
  failed=$((failed + nfail))
}

export QT_QPA_PLATFORM=offscreen
# The map's web engine cannot use its sandbox as root (CI runs as root).
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
logs=$(mktemp -d)

for flavour in release asan; do
  echo "== build $flavour"
  if tools/build.sh "$flavour" >"$logs/build-$flavour.log" 2>&1; then
    if [ "$flavour" = release ]; then
      # The demo card, once: the demo-card tests and the review tools read it.
      export ORV_DEMO_CARD="$root/build/demo-card"
      if [ ! -f "$ORV_DEMO_CARD.complete" ]; then
        build/release/tools/make-demo-card "$ORV_DEMO_CARD" --force >"$logs/demo-card.log" 2>&1 \
          && touch "$ORV_DEMO_CARD.complete"
        record "demo card" $?
      fi
    fi
    echo "== test $flavour"
    ctest --test-dir "build/$flavour" -j "$(nproc)" --output-on-failure 2>&1 | tee "$logs/ctest-$flavour.log" \
      | grep -E '^(.*tests passed|.*\*\*\*Failed|.*Exception|The following tests FAILED)' || true
    count_ctest "$logs/ctest-$flavour.log"
    if [ "$flavour" = release ]; then
      # The window's own frame, its placement and the outline need a window system: these tests
      # run once more on a real X server.
      echo "== test release under Xvfb (tests labelled xvfb)"
      QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" \
        ctest --test-dir build/release -L xvfb --output-on-failure >"$logs/ctest-xvfb.log" 2>&1
      grep -E '(tests passed|\*\*\*Failed|The following tests FAILED)' "$logs/ctest-xvfb.log" || true
      count_ctest "$logs/ctest-xvfb.log"
      # The review pictures: every skin picture and control, the data views, the map window,
      # written to build/review for a person to look at (nothing is compared).
      review=build/review
      mkdir -p "$review"
      review_tool() {  # review_tool NAME COMMAND...
        local name=$1; shift
        "$@" >"$logs/review-$name.log" 2>&1; local st=$?
        [ $st -eq 0 ] || tail -n 20 "$logs/review-$name.log"
        record "review $name" $st
      }
      for scale in 1.0 1.5; do
        review_tool "skin gallery $scale" build/release/tools/skin-gallery "$review/gallery-$scale.png" --scale "$scale"
      done
      review_tool "view gallery" build/release/tools/view-gallery "$review/views" --card "$ORV_DEMO_CARD"
      review_tool "map" build/release/tools/map-review "$review/map-review.png"
      review_tool "browser" build/release/tools/browser-review "$review" "$ORV_DEMO_CARD"
      review_tool "screen tour" build/release/tools/screen-tour --out "$review/tour" --card "$ORV_DEMO_CARD"
      # The same window on a desktop with a window manager: the gauge and map windows as the X
      # server stacks them after real clicks, play and a move.
      review_tool "screen tour under a window manager" env QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1920x1080x24" tools/with-openbox.sh \
        build/release/tools/screen-tour --window-manager --out "$review/tour" --card "$ORV_DEMO_CARD"
      # A tour that ends early leaves its folder without pictures.
      ls "$review"/tour/*.png >/dev/null 2>&1
      record "screen tour pictures" $?
      echo "review pictures: $review"
    fi
  else
    tail -n 40 "$logs/build-$flavour.log"
    record "build $flavour" 1
  fi
done

echo "== build tsan"
if tools/build.sh tsan >"$logs/build-tsan.log" 2>&1; then
  echo "== test tsan (tests labelled threads)"
  ctest --test-dir build/tsan -L threads -j "$(nproc)" --output-on-failure >"$logs/ctest-tsan.log" 2>&1
  if grep -q 'No tests were found' "$logs/ctest-tsan.log"; then
    echo "no tests labelled threads"
  else
    grep -E '(tests passed|\*\*\*Failed|The following tests FAILED)' "$logs/ctest-tsan.log" || true
    grep -q 'WARNING: ThreadSanitizer' "$logs/ctest-tsan.log" && grep -A20 'WARNING: ThreadSanitizer' "$logs/ctest-tsan.log" | head -40
    count_ctest "$logs/ctest-tsan.log"
  fi
else
  tail -n 40 "$logs/build-tsan.log"
  record "build tsan" 1
fi

echo "== build fuzz"
if tools/build.sh fuzz >"$logs/build-fuzz.log" 2>&1; then
  seconds=${FUZZ_SECONDS:-30}
  pids=()
  names=()
  for bin in build/fuzz/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    name=$(basename "$bin")
    (
      work=$(mktemp -d)
      # Scratch files of a target go to a folder removed with the rest.
      mkdir -p "$work/corpus" "$work/tmp"
      export TMPDIR="$work/tmp"
      [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/corpus/" 2>/dev/null
      status=0
      regressions=$(find "fuzz/regressions/$name" -maxdepth 1 -type f 2>/dev/null)
      if [ -n "$regressions" ]; then
        # shellcheck disable=SC2086
        "$bin" $regressions >"$logs/fuzz-$name-regressions.log" 2>&1 || status=1
      fi
      # Readers of whole movies also start from the real movies beside the project (read only:
      # new inputs go to the first folder).
      extra=()
      case "$name" in
        fuzz_join_tables) [ -d ../shared/corpus/mp4 ] && extra+=(../shared/corpus/mp4) ;;
      esac
      "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/crash-" "$work/corpus" "${extra[@]}" >"$logs/fuzz-$name.log" 2>&1 || status=1
      if [ $status -ne 0 ]; then
        tail -n 30 "$logs/fuzz-$name.log"
        # Keep what made it fail, to be added to fuzz/regressions/$name.
        mkdir -p "build/fuzz-crashes/$name"
        cp "$work"/crash-* "build/fuzz-crashes/$name/" 2>/dev/null && ls "build/fuzz-crashes/$name"
      fi
      rm -rf "$work"
      exit $status
    ) &
    pids+=($!)
    names+=("$name")
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}"; st=$?
    echo "fuzz ${names[$i]}: $([ $st -eq 0 ] && echo ok || echo FAILED)"
    record "fuzz ${names[$i]}" $st
  done
else
  tail -n 40 "$logs/build-fuzz.log"
  record "build fuzz" 1
fi

rm -rf "$logs"
echo
echo "Total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
