#!/usr/bin/env bash
# Configures and builds one flavour of the tree, compiler warnings being errors in each; with
# target names, only those targets and what they need.
#   tools/build.sh FLAVOUR [TARGET...]
#   tools/build.sh release   the program, tools and tests (build/release)
#   tools/build.sh asan      the libraries without Qt, and their tests, under ASan+UBSan (build/asan)
#   tools/build.sh tsan      the libraries without Qt Widgets (the media layer included), and their tests,
#                            under ThreadSanitizer (build/tsan)
#   tools/build.sh fuzz      the fuzz targets, with clang's libFuzzer (build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
shift || true
jobs=$(nproc)
case "$flavour" in
  release) cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_WERROR=ON >/dev/null ;;
  asan)    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORV_GUI=OFF -DORV_SANITIZE=ON \
             -DORV_WERROR=ON >/dev/null ;;
  tsan)    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_GUI=OFF -DORV_MEDIA=ON -DORV_TSAN=ON \
             -DORV_WERROR=ON >/dev/null ;;
  fuzz)    CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
             -DORV_GUI=OFF -DORV_MEDIA=OFF -DORV_TESTS=OFF -DORV_FUZZ=ON -DORV_WERROR=ON >/dev/null ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake --build "build/$flavour" -j "$jobs" ${1:+--target "$@"}
