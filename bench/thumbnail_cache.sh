#!/usr/bin/env bash
# Opens a folder of photo-sized JPEGs (4000 x 3000, quality 90) in a Release
# build, each opening its own process: once with an empty thumbnail cache
# (which it fills), then, taking turns pair by pair, with that filled cache
# and with no cache at all (every picture decoded). Prints the medians of
# the panel's time, the median of the pairs' ratios (goal: the cached opening
# at least 20x faster than decoding) and the size of the cache's entries
# (goal: at most 22 KB for a 128-pixel thumbnail).
#
#   bench/thumbnail_cache.sh [PHOTO_FOLDER]
#
# COUNT sets the number of pictures (288); RUNS the number of pairs (5). The
# pictures are made once (about 1.1 GB for 288) and kept in PHOTO_FOLDER.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
count=${COUNT:-288}
runs=${RUNS:-5}
photos=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos$count}

. "$root/bench/bench_build.sh"
build_bench bench_thumbnails
bench=$build/bin/bench_thumbnails

mkdir -p "$photos"
"$bench" "$photos" --count "$count" --generate-only
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One opening: the panel's milliseconds ("!" when a picture went without its thumbnail).
open_folder() {
  env QT_QPA_PLATFORM=offscreen "$bench" "$photos" --count "$count" "$@" 2>/dev/null |
    awk '/thumbnails in/ { ms = $4 } /unsupported;|not the/ { if ($0 ~ /not the/) bad = 1 }
         END { print ms (bad ? "!" : "") }'
}

echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg); $count pictures in $photos; 100-pixel cells"
first=$(open_folder --cache "$work/cache")
for run in $(seq "$runs"); do
  echo "$(open_folder --cache "$work/cache") $(open_folder)"
done >"$work/pairs"
find "$work/cache" -name '*.png' -path '*/normal/*' -printf '%s\n' >"$work/sizes"
awk -v first="$first" -v runs="$runs" '
  function median(a, n,   i, j, t) {
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  FNR == NR { c[NR] = $1 + 0; d[NR] = $2 + 0; r[NR] = ($2 + 0) / (($1 + 0) > 0 ? $1 : 1); next }
  { s += $1; n += 1; if ($1 > m) m = $1 }
  END { printf "first opening (empty cache, fills it): %7s ms\n", first
        printf "cached opening:          median %7.0f ms over %d runs\n", median(c, runs), runs
        printf "no cache (decoding all): median %7.0f ms, taking turns with the cached opening\n", median(d, runs)
        printf "no cache / cached, pair by pair: median %.1fx (goal: at least 20x)\n", median(r, runs)
        printf "entries: %d, %.1f KB on average, at most %.1f KB (goal: at most 22 KB)\n", n, s / n / 1024, m / 1024 }
' "$work/pairs" "$work/sizes"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
