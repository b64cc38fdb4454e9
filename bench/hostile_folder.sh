#!/usr/bin/env bash
# Opens a folder of photo-sized JPEGs (4000 x 3000) beside 16 files of a few
# hundred bytes whose headers claim pictures of hundreds of megapixels, 5
# small valid files whose pictures would take gigabytes (WebP, TIFF, PNG,
# GIF, BMP), a black-and-white page of 16000 x 16000 stored plainly and
# interlaced, and eight names of a 250 MB PNG of 64 x 64 pixels behind a
# private chunk, in a Release build,
# and prints the time and the peak memory of each run. The goal: under 2 s
# and under 200 MB, every hostile file an unreadable cell, the page shown.
#
#   bench/hostile_folder.sh [FOLDER]
#
# COUNT sets the number of photos (16); RUNS the number of runs (3). Needs
# /usr/bin/time (package time).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
count=${COUNT:-16}
runs=${RUNS:-3}
folder=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/hostile$count}

. "$root/bench/bench_build.sh"
need time
build_bench bench_thumbnails
bench=$build/bin/bench_thumbnails

mkdir -p "$folder"
"$bench" "$folder" --count "$count" --hostile --generate-only
echo "cores: $(nproc); $(ls "$folder" | wc -l) files in $folder"
for run in $(seq "$runs"); do
  /usr/bin/time -f "run $run: peak %M KB, %e s in all" \
    env QT_QPA_PLATFORM=offscreen "$bench" "$folder" --count "$count" --hostile
done
