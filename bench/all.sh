#!/usr/bin/env bash
# Runs the benches that compare the program against its anchors one after
# the other, as one run: start-up against a bare Qt window, a cached start
# against an empty cache, the cache against decoding (with its entries'
# size), the thumbnails against vipsthumbnail and djpeg, folders of small
# photos, and the picture effects against vips and ImageMagick. Before each
# bench it waits (at most WAIT seconds, 300) for the machine's one-minute load
# to fall under 2, and prints the load it started at, so that a figure taken
# on a busy machine says so.
#
#   bench/all.sh
#
# Needs what each bench needs (see its own lines); their RUNS and COUNT
# settings apply to every bench alike.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wait_limit=${WAIT:-300}

load() { cut -d' ' -f1 /proc/loadavg; }

settle() {
  local waited=0
  while awk -v l="$(load)" 'BEGIN { exit !(l >= 2) }' && [ "$waited" -lt "$wait_limit" ]; do
    sleep 5
    waited=$((waited + 5))
  done
}

for bench in startup.sh thumbnail_program.sh thumbnail_cache.sh thumbnails.sh thumbnail_folders.sh effects.py; do
  settle
  echo "== $bench (started at load $(cut -d' ' -f1-3 /proc/loadavg); $(date -u +%H:%M:%S) UTC)"
  "$root/bench/$bench"
  echo
done
