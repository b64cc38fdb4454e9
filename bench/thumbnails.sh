#!/usr/bin/env bash
# Times the thumbnails of 96 photo-sized JPEGs (4000 x 3000, quality 90):
# Lumaset's panel build (bench_thumbnails, 100-pixel thumbnails, all cores)
# side by side with the same folder split over one process per core of
# `vipsthumbnail -s 100`, and of `djpeg -scale 1/8` (decoding at an eighth,
# about as fast as a JPEG can be read), each as a whole command. Reports the
# medians, both ratios and each one's peak memory (the largest single process
# for the split tools).
#
#   bench/thumbnails.sh [CACHE_FOLDER]
#
# Needs: hyperfine, libvips-tools (vipsthumbnail), libjpeg-turbo-progs (djpeg),
# time (/usr/bin/time), python3, xargs, and what the build needs. RUNS sets the number of timed runs (7),
# COUNT the number of pictures (96).
# TURNED=1 makes the pictures as portrait photos from a phone, stored on
# their side with EXIF data that turns them upright (cached in a folder of
# their own).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
turned=${TURNED:+--turned}
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos${turned:+-turned}}
runs=${RUNS:-7}
count=${COUNT:-96}

. "$root/bench/bench_build.sh"
need hyperfine vipsthumbnail djpeg xargs python3 time
build_bench bench_thumbnails
bench=$build/bin/bench_thumbnails

mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
"$bench" "$cache" --count "$count" --generate-only $turned

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir "$out/vips"
cores=$(nproc)
count=$(find "$cache" -maxdepth 1 -name '*.jpg' | wc -l)  # the panel opens them all
per=$(( (count + cores - 1) / cores ))  # pictures per process: one batch for each core

# The same three commands for hyperfine and for the memory runs.
lumaset_cmd=$(printf 'env QT_QPA_PLATFORM=offscreen %q %q --count %d' "$bench" "$cache" "$count")
vips_cmd=$(printf 'find %q -maxdepth 1 -name "*.jpg" -print0 | xargs -0 -n %d -P %d vipsthumbnail -s 100 -o %q' \
  "$cache" "$per" "$cores" "$out/vips/%s.jpg")
djpeg_cmd=$(printf 'find %q -maxdepth 1 -name "*.jpg" -print0 | xargs -0 -n 1 -P %d djpeg -scale 1/8 -outfile /dev/null' \
  "$cache" "$cores")

echo "cores: $cores; pictures: $count in $cache"
hyperfine --warmup 2 --runs "$runs" --export-json "$out/times.json" \
  -n lumaset "$lumaset_cmd" -n vipsthumbnail "$vips_cmd" -n djpeg "$djpeg_cmd"

peak() {  # command -> peak resident memory in MB of its largest process
  /usr/bin/time -v bash -c "$1" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }'
}
lumaset_mb=$(peak "$lumaset_cmd")
vips_mb=$(peak "$vips_cmd")
djpeg_mb=$(peak "$djpeg_cmd")

python3 - "$out/times.json" "$lumaset_mb" "$vips_mb" "$djpeg_mb" "$cores" <<'EOF'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
lumaset, vips, djpeg = results["lumaset"], results["vipsthumbnail"], results["djpeg"]
cores = sys.argv[5]
print(f"median lumaset:                  {lumaset * 1000:8.1f} ms   peak {sys.argv[2]} MB")
print(f"median vipsthumbnail x {cores:>2} procs: {vips * 1000:8.1f} ms   peak {sys.argv[3]} MB per process")
print(f"median djpeg 1/8 x {cores:>2} procs:     {djpeg * 1000:8.1f} ms   peak {sys.argv[4]} MB per process")
print(f"ratio lumaset / vipsthumbnail: {lumaset / vips:.3f}")
print(f"ratio lumaset / djpeg 1/8:     {lumaset / djpeg:.3f} (1.0 = as fast as decoding alone)")
EOF
