#!/usr/bin/env bash
# Times the thumbnails of 96 photo-sized JPEGs (4000 x 3000, quality 90):
# Lumaset's panel build (bench_thumbnails, 100-pixel thumbnails, all cores)
# side by side with the same folder split over one process per core of
# `vipsthumbnail -s 100`, and of `djpeg -scale 1/8` (decoding at an eighth,
# about as fast as a JPEG can be read), each as a whole command. The three
# take turns, run by run, so that a change of the machine's load touches all
# alike. Reports the medians, the median of each run's ratios and each one's
# peak memory (the largest single process for the split tools).
#
#   bench/thumbnails.sh [CACHE_FOLDER]
#
# Needs: libvips-tools (vipsthumbnail), libjpeg-turbo-progs (djpeg),
# time (/usr/bin/time), python3, xargs, and what the build needs. RUNS sets the number of timed runs (7,
# after one warm-up run of each),
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
need vipsthumbnail djpeg xargs python3 time
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

# The three commands, each a whole shell command.
lumaset_cmd=$(printf 'env QT_QPA_PLATFORM=offscreen %q %q --count %d' "$bench" "$cache" "$count")
vips_cmd=$(printf 'find %q -maxdepth 1 -name "*.jpg" -print0 | xargs -0 -n %d -P %d vipsthumbnail -s 100 -o %q' \
  "$cache" "$per" "$cores" "$out/vips/%s.jpg")
djpeg_cmd=$(printf 'find %q -maxdepth 1 -name "*.jpg" -print0 | xargs -0 -n 1 -P %d djpeg -scale 1/8 -outfile /dev/null' \
  "$cache" "$cores")

echo "cores: $cores; load: $(cut -d' ' -f1-3 /proc/loadavg); pictures: $count in $cache"
# One run of a command: "<wall seconds> <peak MB of its largest process>".
timed() {
  /usr/bin/time -f '%e %M' -o "$out/time" bash -c "$1" >/dev/null 2>&1
  awk '{ printf "%s %.1f\n", $1, $2 / 1024 }' "$out/time"
}
for run in $(seq 0 "$runs"); do  # run 0 warms the caches and is not counted
  line="$(timed "$lumaset_cmd") $(timed "$vips_cmd") $(timed "$djpeg_cmd")"
  if [ "$run" -gt 0 ]; then echo "$line" >>"$out/runs"; fi
done

python3 - "$out/runs" "$cores" <<'EOF2'
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1])]
lumaset, vips, djpeg = ([r[i] for r in rows] for i in (0, 2, 4))
peak = lambda i: max(r[i] for r in rows)
ratio = lambda a, b: statistics.median(x / y for x, y in zip(a, b))
cores = sys.argv[2]
print(f"median lumaset:                  {statistics.median(lumaset) * 1000:8.1f} ms   peak {peak(1):.1f} MB")
print(f"median vipsthumbnail x {cores:>2} procs: {statistics.median(vips) * 1000:8.1f} ms   peak {peak(3):.1f} MB per process")
print(f"median djpeg 1/8 x {cores:>2} procs:     {statistics.median(djpeg) * 1000:8.1f} ms   peak {peak(5):.1f} MB per process")
print(f"ratio lumaset / vipsthumbnail, run by run: {ratio(lumaset, vips):.3f}")
print(f"ratio lumaset / djpeg 1/8, run by run:     {ratio(lumaset, djpeg):.3f} (1.0 = as fast as decoding alone)")
EOF2
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
