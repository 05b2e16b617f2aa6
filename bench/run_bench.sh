#!/usr/bin/env bash
# Times kestova-count against the general tools a shop might script instead,
# and against the floor of opening every file and reading its first 64 KiB,
# on one corpus in one run, warm cache. Prints a table of times and ratios,
# then the time per file at 10,000 and 40,000 files and the peak memory.
# Then, as root, the cold cases: the local disk with the page cache dropped
# (part of `local`), and the corpus on a slow share (slowfs, 1 ms and 5 ms per
# request; `share`).
#
#   bench/run_bench.sh [all|local|share]   (builds the corpora first when missing)
set -euo pipefail
part=${1:-all}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
root=${PEERBENCH_ROOT:-/tmp/peerbench}
build=${KESTOVA_BUILD_DIR:-$top/build}
runs=${RUNS:-5}

"$top/scripts/bootstrap"
"$here/bootstrap-bench"
"$here/make_corpus.sh"
"$top/scripts/build" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/rawfloor" "${RAWFLOOR_SOURCE:-$top/../shared/bench/rawfloor.c}"
"$build/bin/kestova-count" setup --program-dir "$work/prog"
count="$build/bin/kestova-count scan --program-dir $work/prog"

corpus=$root/corpus
# PIL comes from Debian's python3-pil, which belongs to the system's Python
# (a python3 earlier on PATH, such as pyenv's, may not have it).
pil_python=/usr/bin/python3
"$pil_python" -c "import PIL" || { echo "no PIL for $pil_python (bench/bootstrap-bench installs it)" >&2; exit 2; }
cat > "$work/pil.py" <<'PY'
import os, sys
from PIL import Image
for d, _, fs in os.walk(sys.argv[1]):
    for f in fs:
        try:
            with Image.open(os.path.join(d, f)) as im:
                im.size, im.info.get("dpi")
        except Exception:
            pass
PY

if [ "$part" != share ]; then
echo "Warming the page cache ..."
find "$root" -type f -print0 | xargs -0 cat >/dev/null

declare -A cmd=(
    [floor]="$work/rawfloor $corpus"
    [kestova]="$count $corpus"
    [exiftool]="exiftool -fast2 -r -q -q -T -ImageWidth -ImageHeight -XResolution -YResolution $corpus"
    [exiv2]="find $corpus -type f -print0 | xargs -0 exiv2 -q -ps; find $corpus -type f -print0 | xargs -0 exiv2 -q -Pv -g Exif.Image.XResolution -g Exif.Image.YResolution"
    [identify]="find $corpus -type f -print0 | xargs -0 identify -ping -format '%w %h %x %y\n'"
    [vipsheader]="find $corpus -type f -print0 | xargs -0 vipsheader"
    [pil]="$pil_python $work/pil.py $corpus"
)
order=(floor kestova pil exiv2 vipsheader identify exiftool)

mean() { # name command runs
    printf '%s\n' "$2 >/dev/null 2>&1" > "$work/$1.sh"
    hyperfine -N --style none --warmup 1 --runs "$3" -i --export-json "$work/$1.json" \
        "bash $work/$1.sh" >/dev/null 2>&1
    python3 -c "import json;print(json.load(open('$work/$1.json'))['results'][0]['mean'])"
}

files=$(find "$corpus" -type f | wc -l)
echo "Corpus: $files files in $corpus"
declare -A t
for name in "${order[@]}"; do
    r=$runs
    case $name in exiftool|identify|vipsheader|exiv2) r=2 ;; esac
    t[$name]=$(mean "$name" "${cmd[$name]}" "$r")
done

python3 - "$files" "${order[@]}" -- "${order[@]/#/}" <<PY
import sys
files = int(sys.argv[1])
t = {$(for n in "${order[@]}"; do printf "'%s': %s," "$n" "${t[$n]}"; done)}
k = t['kestova']
print()
print(f"{'tool':<12}{'ms':>10}{'ms/1000 files':>16}{'÷ kestova':>12}")
for n in [$(for n in "${order[@]}"; do printf "'%s'," "$n"; done)]:
    print(f"{n:<12}{t[n]*1000:>10.0f}{t[n]*1e6/files:>16.1f}{t[n]/k:>12.2f}")
print()
print(f"kestova / 64 KiB floor: {k/t['floor']:.2f}  (target at most 3, aim 2)")
others = [n for n in t if n not in ('kestova', 'floor')]
print(f"exiftool -fast2 / kestova: {t['exiftool']/k:.1f}  (target at least 20)")
print("faster than every other tool:", all(t[n] > k for n in others))
PY

echo
for n in 10k 40k; do
    c=$root/corpus$n
    f=$(find "$c" -type f | wc -l)
    s=$(mean "k$n" "$count $c" 3)
    python3 -c "print(f'corpus$n: {$f} files, {$s*1e6/$f:.1f} µs per file')"
    echo "$s $f" > "$work/per$n"
done
python3 - "$work/per10k" "$work/per40k" <<'PY'
import sys
a = [float(x) for x in open(sys.argv[1]).read().split()]
b = [float(x) for x in open(sys.argv[2]).read().split()]
pa, pb = a[0] / a[1], b[0] / b[1]
print(f"time per file at 40,000 / at 10,000: {pb / pa:.3f}  (target within 1.10)")
PY
/usr/bin/time -f "%M" -o "$work/mem" $count "$root/corpus40k" >/dev/null
echo "peak memory at 40,000 files: $(( $(cat "$work/mem") / 1024 )) MB  (target under 100 MB)"
fi

# ---- Cold: the local disk with the page cache dropped, then a slow share ----
if [ "$(id -u)" -ne 0 ]; then
    echo "Cold and share cases skipped: dropping the page cache and mounting slowfs need root."
    exit 0
fi
files=$(find "$corpus" -type f | wc -l)
drop() { sync; echo 3 > /proc/sys/vm/drop_caches; }
# Seconds of one run of the command, page cache dropped before it.
cold() {
    drop
    local start end
    start=$(date +%s%N)
    bash -c "$1" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(( (end - start) / 1000000 ))
}
# The median of n cold runs, in ms.
median() {
    local n=$1 i
    for ((i = 0; i < n; i++)); do cold "$2"; done | sort -n | sed -n "$(( (n + 1) / 2 ))p"
}
secs() { python3 -c "print(f'{$1/1000:.2f}')"; }

if [ "$part" != share ]; then
echo
echo "Cold local disk: $files files, page cache dropped before each run (median of 3)"
floor4=$(median 3 "$work/rawfloor $corpus 4096")
kcold=$(median 3 "$count $corpus")
printf '%-46s%8s s\n' "open + read 4 KiB, one after another (rawfloor)" "$(secs "$floor4")" \
    "kestova-count scan" "$(secs "$kcold")"
python3 -c "print(f'kestova / cold 4 KiB floor: {$kcold/$floor4:.2f}  (target under 1)')"
fi
[ "$part" = local ] && exit 0

cc -O2 -o "$work/slowfs" "${SLOWFS_SOURCE:-$top/../shared/bench/slowfs.c}" $(pkg-config --cflags --libs fuse3)
cat > "$work/reader32.sh" <<SH
find "\$1" -type f -print0 | xargs -0 -n 20 -P 32 head -q -c 4096
SH
mounts=()
unmount_all() {
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
    rm -rf "$work"
}
trap unmount_all EXIT
for latency in 1 5; do
    share=$work/share$latency
    mkdir -p "$share"
    "$work/slowfs" "$corpus" "$share" $((latency * 1000))
    mounts+=("$share")
    echo
    echo "Share: $files files through slowfs, $latency ms per request, page cache dropped before each run"
    tfind=$(cold "find $share")
    tfloor=$(cold "$work/rawfloor $share 4096")
    tpil=$(cold "$pil_python $work/pil.py $share")
    tk=$(median 3 "$count $share")
    t32=$(median 3 "bash $work/reader32.sh $share")
    printf '%-56s%8s s\n' \
        "find (listing only)" "$(secs "$tfind")" \
        "open + read 4 KiB + close, one after another (rawfloor)" "$(secs "$tfloor")" \
        "Python PIL, one after another" "$(secs "$tpil")" \
        "kestova-count scan (median of 3)" "$(secs "$tk")" \
        "32 processes reading 4 KiB of each file (median of 3)" "$(secs "$t32")"
    python3 - "$latency" "$tk" "$tfloor" "$t32" <<'PY'
import sys
latency, k, floor, r32 = int(sys.argv[1]), *map(float, sys.argv[2:])
print(f"kestova: {k/1000:.2f} s  (target at most {2.0 * latency:.1f} s)")
print(f"kestova / serial 4 KiB floor: {k/floor:.3f}  (target at most 0.10)")
print(f"kestova / 32-way reader: {k/r32:.2f}")
PY
    umount "$share"
done
