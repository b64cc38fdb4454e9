#!/usr/bin/env bash
# Times the thumbnails of 96 photo-sized JPEGs (4000 x 3000, quality 90):
# Lumaset's panel build (bench_thumbnails, 100-pixel thumbnails) side by side
# with `vipsthumbnail -s 100` over the same folder, each as a whole process,
# and reports the medians, their ratio and each one's peak memory.
#
#   bench/thumbnails.sh [CACHE_FOLDER]
#
# Needs: hyperfine, libvips-tools (vipsthumbnail), time (/usr/bin/time),
# python3, and what the build needs. RUNS sets the number of timed runs (7).
# TURNED=1 makes the pictures as portrait photos from a phone, stored on
# their side with EXIF data that turns them upright (cached in a folder of
# their own).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
turned=${TURNED:+--turned}
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos${turned:+-turned}}
runs=${RUNS:-7}

for tool in hyperfine vipsthumbnail python3 cmake ninja; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (package time)" >&2; exit 2; }

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
ninja -C "$build" bench_thumbnails >/dev/null
bench=$build/bin/bench_thumbnails

mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
"$bench" "$cache" --generate-only $turned

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir "$out/vips"

# The same two commands for hyperfine and for the memory runs.
lumaset_cmd=$(printf 'env QT_QPA_PLATFORM=offscreen %q %q' "$bench" "$cache")
vips_cmd=$(printf 'vipsthumbnail -s 100 -o %q %q/*.jpg' "$out/vips/%s.jpg" "$cache")

echo "cores: $(nproc); pictures: $(ls "$cache"/*.jpg | wc -l) in $cache"
hyperfine --warmup 2 --runs "$runs" --export-json "$out/times.json" \
  -n lumaset "$lumaset_cmd" -n vipsthumbnail "$vips_cmd"

peak() {  # command -> peak resident memory in MB
  /usr/bin/time -v bash -c "$1" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }'
}
lumaset_mb=$(peak "$lumaset_cmd")
vips_mb=$(peak "$vips_cmd")

python3 - "$out/times.json" "$lumaset_mb" "$vips_mb" <<'EOF'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
lumaset, vips = results["lumaset"]["median"], results["vipsthumbnail"]["median"]
print(f"median lumaset:       {lumaset * 1000:8.1f} ms   peak {sys.argv[2]} MB")
print(f"median vipsthumbnail: {vips * 1000:8.1f} ms   peak {sys.argv[3]} MB")
print(f"ratio lumaset / vipsthumbnail: {lumaset / vips:.3f} (goal: below 0.25)")
EOF
