#!/usr/bin/env bash
# Builds the benchmark corpora under $PEERBENCH_ROOT (default /tmp/peerbench):
#   corpus/      5,400 photos in 54 nested folders (JPEG with and without EXIF
#                thumbnails and with varied resolution metadata, PNG, TIFF),
#                made by the shared generator, plus 100 HEIC photos;
#   corpus10k/   10,000 files and corpus40k/ 40,000 files: hard links to the
#                corpus files, repeated in copies of its folder tree.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PEERBENCH_ROOT=${PEERBENCH_ROOT:-/tmp/peerbench}
generator=${KESTOVA_CORPUS_GENERATOR:-$here/../../shared/bench/make_corpus.sh}

for tool in exiftool convert heif-enc python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap-bench installs it)" >&2; exit 2; }
done

if [ ! -f "$PEERBENCH_ROOT/corpus_manifest.tsv" ]; then
    bash "$generator"
fi

# HEIC photos, as phones deliver them.
heic="$PEERBENCH_ROOT/corpus/2024/phone"
if [ ! -d "$heic" ]; then
    mkdir -p "$heic"
    src=$(find "$PEERBENCH_ROOT/templates/src" -name 'p*.png' | sort)
    i=0
    for png in $src; do
        heif-enc -q 60 -o "$PEERBENCH_ROOT/templates/h$i.heic" "$png" >/dev/null
        i=$((i + 1))
    done
    for n in $(seq -w 1 100); do
        cp "$PEERBENCH_ROOT/templates/h$(( 10#$n % i )).heic" "$heic/IMG_$n.HEIC"
    done
fi

python3 - "$PEERBENCH_ROOT" <<'PY'
import os, sys
root = sys.argv[1]
base = os.path.join(root, "corpus")
files = sorted(os.path.relpath(os.path.join(d, f), base)
               for d, _, fs in os.walk(base) for f in fs)
for name, n in (("corpus10k", 10000), ("corpus40k", 40000)):
    out = os.path.join(root, name)
    if os.path.isdir(out) and sum(len(fs) for _, _, fs in os.walk(out)) == n:
        continue
    os.system(f"rm -rf '{out}'")
    for i in range(n):
        rel = files[i % len(files)]
        dst = os.path.join(out, f"copy{i // len(files)}", rel)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        os.link(os.path.join(base, rel), dst)
    print(name, n)
PY
