#!/usr/bin/env bash
# The folder tree over a slow network share: mounts a slowfs share answering
# each request after LATENCY_MS (default 4000) over 200 folders, opens the
# tree on it and prints the longest stop of the window and the slowest key
# (both should stay under 100 ms however slow the share). Needs FUSE (root
# or fusermount3) and libfuse3-dev.
#   bench/folder_tree_stall.sh [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=${KESTOVA_BUILD_DIR:-$top/build}
latency=${LATENCY_MS:-4000}

"$top/scripts/bootstrap"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target folder_tree_stall slowfs -j "$(nproc)" >/dev/null

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    fusermount3 -u -z "$work/share" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/source" "$work/share"
for i in $(seq -w 0 199); do mkdir -p "$work/source/f$i/sub"; done
SLOWFS_FOREGROUND=1 "$build/tests/bin/slowfs" "$work/source" "$work/share" $((latency * 1000)) &
pid=$!
for _ in $(seq 50); do grep -q " $work/share " /proc/self/mountinfo && break; sleep 0.1; done
echo "Share answering after $latency ms:"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/folder_tree_stall" "$work/share" "${1:-15}"
