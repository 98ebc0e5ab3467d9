#!/usr/bin/env bash
# map-served.sh [app-bench options...]
#
# app-bench with the map really shown: the map is offered only while its tile server can be
# reached, so this builds app-bench in a build folder of its own whose tile and probe
# addresses point at a tile server on 127.0.0.1 (tile-server.py beside this script), starts
# that server, and runs app-bench on an X server (Xvfb, the xcb platform, as the program runs
# for users). app-bench then also reports whether the map window drew the served tiles and
# keeps its screenshots. Options go to app-bench (e.g. --runs 3 --seconds 10).
#
# Environment: MAP_SERVED_BUILD (default build/map-served), MAP_SERVED_PORT (default 18734;
# another free port is taken when it is busy), MAP_SERVED_WORK (the folder app-bench runs in,
# default build/map-served/work). Needs xvfb-run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${MAP_SERVED_BUILD:-$root/build/map-served}
work=${MAP_SERVED_WORK:-$build/work}
port=${MAP_SERVED_PORT:-18734}

export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")} CCACHE_NOHASHDIR=1

port_free() {
  python3 -c 'import socket,sys; s=socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1])))' "$1" 2>/dev/null
}
if ! port_free "$port"; then
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
fi

# The addresses are build settings; changing the port reconfigures (a few files rebuild).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DORV_MAP_PROBE_URL=http://127.0.0.1:$port/" \
  "-DORV_MAP_TILE_URL=http://127.0.0.1:$port/{z}/{x}/{y}.png" >/dev/null
cmake --build "$build" -j4 --target app-bench

python3 "$here/tile-server.py" "$port" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  if curl -fsS -o /dev/null "http://127.0.0.1:$port/0/0/0.png" 2>/dev/null; then break; fi
  kill -0 "$server" 2>/dev/null || { echo "map-served: the tile server did not start" >&2; exit 1; }
  sleep 0.1
done
curl -fsS -o /dev/null "http://127.0.0.1:$port/0/0/0.png" || { echo "map-served: the tile server does not answer" >&2; exit 1; }

mkdir -p "$work"
cd "$work"
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$build/bench/app-bench/app-bench" --map-served 1 "$@"
