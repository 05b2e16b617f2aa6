#!/usr/bin/env bash
# Times kestova-count against the general tools a shop might script instead,
# and against the floor of opening every file and reading its first 64 KiB,
# on one corpus in one run, warm cache. Prints a table of times and ratios,
# then the time per file at 10,000 and 40,000 files and the peak memory.
#
#   bench/run_bench.sh            (builds the corpora first when missing)
set -euo pipefail
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
echo "Warming the page cache ..."
find "$root" -type f -print0 | xargs -0 cat >/dev/null

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

declare -A cmd=(
    [floor]="$work/rawfloor $corpus"
    [kestova]="$count $corpus"
    [exiftool]="exiftool -fast2 -r -q -q -T -ImageWidth -ImageHeight -XResolution -YResolution $corpus"
    [exiv2]="find $corpus -type f -print0 | xargs -0 exiv2 -q -ps; find $corpus -type f -print0 | xargs -0 exiv2 -q -Pv -g Exif.Image.XResolution -g Exif.Image.YResolution"
    [identify]="find $corpus -type f -print0 | xargs -0 identify -ping -format '%w %h %x %y\n'"
    [vipsheader]="find $corpus -type f -print0 | xargs -0 vipsheader"
    [pil]="python3 $work/pil.py $corpus"
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
