#!/usr/bin/env bash
# Times the Print command on a Letter page of eight 24-megapixel JPEGs
# (bench_printing), to the capture queue of a private CUPS scheduler and to
# a PDF file without a printer, each with FastPrint off and on, and reports
# the median time from the command to the job handed over and the peak
# memory of each run. The anchor: ImageMagick's montage putting the same
# eight photos at their printed size (300 dpi) on one page, written as a JPEG
# of quality 90 (Debian's ImageMagick may not write PDF), as a whole process,
# each photo decoded at the smallest scale that still covers its printed size
# (within the memory ImageMagick allows); the PDF cases print their ratio to it.
#
#   bench/printing.sh [CACHE_FOLDER]
#
# Needs: root (the private scheduler runs as lp), cups, imagemagick (montage),
# time (/usr/bin/time), and what the build needs. RUNS sets the number of timed
# prints per case (5).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos24}
runs=${RUNS:-5}

. "$root/bench/bench_build.sh"
need cupsd montage time
build_bench bench_printing
bench=$build/bin/bench_printing

"$bench" "$cache" --generate-only
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The anchor, run by run: "<ms> <peak MB>" per line.
for run in $(seq "$runs"); do
  /usr/bin/time -f "%e %M" -o "$out/time" montage -define jpeg:size=1050x700 "$cache"/photo24-*.jpg -tile 2x4 \
    -geometry 1050x700+38+25 \
    -density 300 -quality 90 "$out/page.jpg"
  awk '{ printf "%d %.0f\n", $1 * 1000, $2 / 1024 }' "$out/time" >>"$out/montage"
done
montage_ms=$(sort -n "$out/montage" | awk '{ ms[NR] = $1 } END { print ms[int((NR + 1) / 2)] }')
montage_mb=$(sort -k2 -n "$out/montage" | tail -1 | cut -d' ' -f2)

echo "cores: $(nproc); load: $(cut -d' ' -f1 /proc/loadavg)"
for target in "" --pdf; do
  for fast in "" --fast; do
    line=$(QT_QPA_PLATFORM=offscreen "$bench" "$cache" $target $fast --runs "$runs")
    if [ -n "$target" ]; then
      line+=$(echo "$line" | awk -v m="$montage_ms" '{ for (i = 1; i < NF; ++i) if ($i == "median") printf "; / montage %.2f", $(i + 1) / m }')
    fi
    echo "$line"
  done
done
echo "ImageMagick montage to a page JPEG (300 dpi): median $montage_ms ms over $runs runs;" \
  "job $(awk -v b="$(stat -c %s "$out/page.jpg")" 'BEGIN { printf "%.1f", b / 1e6 }') MB; peak $montage_mb MB"
