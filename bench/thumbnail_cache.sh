#!/usr/bin/env bash
# Times opening a folder of photo-sized JPEGs (4000 x 3000, quality 90) twice
# in a Release build: first with an empty thumbnail cache, then with the
# cache that the first opening filled, and prints both and their ratio.
#
#   bench/thumbnail_cache.sh [PHOTO_FOLDER]
#
# COUNT sets the number of pictures (1000); RUNS the number of paired runs (3),
# each with a fresh cache. The pictures are made once (about 4 GB for 1000)
# and kept in PHOTO_FOLDER.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
count=${COUNT:-1000}
runs=${RUNS:-3}
photos=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos$count}

. "$root/bench/bench_build.sh"
build_bench bench_thumbnails
bench=$build/bin/bench_thumbnails

mkdir -p "$photos"
"$bench" "$photos" --count "$count" --generate-only
pictures=$(find "$photos" -maxdepth 1 -name '*.jpg' | wc -l)
echo "cores: $(nproc); pictures: $pictures in $photos"
for run in $(seq "$runs"); do
  echo "run $run:"
  env QT_QPA_PLATFORM=offscreen "$bench" "$photos" --count "$count" --twice
done
