#!/usr/bin/env bash
# The folder tree over a slow network share: mounts a slowfs share answering
# each request after LATENCY_MS (default 4000) over 200 folders, opens the
# tree on it and prints the longest stop of the window and the slowest key
# (both should stay under 100 ms however slow the share). Then the dead-share
# case: the tree on its start places with that share and one that does not
# answer at all mounted and opened; "/" and home must list, and a folder at
# home be picked, within a second. Needs FUSE (root or fusermount3) and
# libfuse3-dev.
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
dead=
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    [ -n "$dead" ] && kill -9 "$dead" 2>/dev/null || true
    fusermount3 -u -z "$work/share" 2>/dev/null || true
    fusermount3 -u -z "$work/dead" 2>/dev/null || true
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

# The share that does not answer: every request waits while control/freeze exists.
mkdir -p "$work/dead" "$work/control"
for i in $(seq -w 0 99); do mkdir -p "$work/source/dead$i"; done
touch "$work/control/freeze"
SLOWFS_FOREGROUND=1 "$build/tests/bin/slowfs" "$work/source" "$work/dead" 1000 "$work/control" &
dead=$!
for _ in $(seq 50); do grep -q " $work/dead " /proc/self/mountinfo && break; sleep 0.1; done
echo "A dead share and the share answering after $latency ms, opened on the start places:"
# The program cannot end while its readers wait on the dead share: once it
# has printed, the share goes away.
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/folder_tree_stall" --places "$work/dead" "$work/share" 10 \
    >"$work/places.txt" &
bench=$!
for _ in $(seq 300); do grep -q "longest gap" "$work/places.txt" && break; sleep 0.1; done
cat "$work/places.txt"
kill -9 "$dead"
dead=
wait "$bench" || true
