#!/usr/bin/env bash
# Installs what is missing, builds everything and makes the demo card: eight recordings with
# their rear companions and recorder data, in the recorder's folder layout.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh release
card=${DEMO_CARD:-$(pwd)/build/demo-card}
build/release/tools/make-demo-card "$card" --force
echo "Demo card ready: $card"
