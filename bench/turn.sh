#!/usr/bin/env bash
# Rotate Clockwise on a 6000 x 4000 photo in every format it turns as the file
# stores it, each against the tool a user would pick instead, writing the same
# format and compression: a JPEG of whole MCUs against `jpegtran -rotate 90
# -perfect`, and every other file against `vips rot` (a JPEG whose edges are
# not whole MCUs, a TIFF compressed with LZW, a black-and-white page of
# 14400 x 9600 in CCITT G4, an 8-bit and a 16-bit RGBA PNG, a lossless WebP,
# a 24-bit BMP). Release build; time and peak memory of each, the cases run
# in turn within each run (so that a change of the machine's load touches all
# alike), and per case the medians and their ratios. The goal: no slower than
# the anchor, and a PNG within 1.5 times its memory.
#
#   bench/turn.sh [FOLDER]
#
# RUNS sets the number of runs (5); CASES the cases to run (all: jpeg-mcu
# jpeg-edge tiff-lzw tiff-page png8 png16 webp bmp).
# Needs vips (package libvips-tools, which writes BMP through ImageMagick),
# jpegtran (libjpeg-turbo-progs) and /usr/bin/time (time).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
runs=${RUNS:-5}
cases=(${CASES:-jpeg-mcu jpeg-edge tiff-lzw tiff-page png8 png16 webp bmp})
folder=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/turn}

. "$root/bench/bench_build.sh"
need time vips jpegtran
build_bench bench_turn
bench=$build/bin/bench_turn

# The files, made once: a photo-like RGBA picture at 8 and 16 bits a sample
# (a soft edge of transparency, grain in the low bytes), and the other
# formats made from it by vips.
mkdir -p "$folder"
cd "$folder"
[ -f photo8.png ] || "$bench" --make photo8.png 6000 4000 8
[ -f photo16.png ] || "$bench" --make photo16.png 6000 4000 16
[ -f rgb.v ] || vips extract_band photo8.png rgb.v 0 --n 3
[ -f photo.jpg ] || vips copy rgb.v "photo.jpg[Q=90]"
[ -f edge.jpg ] || { vips extract_area rgb.v edge.v 0 0 5999 3999 && vips copy edge.v "edge.jpg[Q=90]" && rm edge.v; }
[ -f photo.tif ] || vips copy rgb.v "photo.tif[compression=lzw,predictor=horizontal]"
[ -f page.tif ] || { vips colourspace rgb.v grey.v b-w && vips resize grey.v big.v 2.4 &&
  vips relational_const big.v page.v more 128 && vips tiffsave page.v page.tif --bitdepth 1 --compression ccittfax4 &&
  rm grey.v big.v page.v; }
[ -f photo.webp ] || vips copy photo8.png "photo.webp[lossless]"
[ -f photo.bmp ] || vips copy rgb.v photo.bmp
echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg)"

# Each case: the file Lumaset turns, and the anchor's command line.
declare -A file anchor
file[jpeg-mcu]=photo.jpg anchor[jpeg-mcu]="jpegtran -rotate 90 -perfect -copy all -outfile anchor.jpg photo.jpg"
file[jpeg-edge]=edge.jpg anchor[jpeg-edge]="vips rot edge.jpg anchor.jpg[Q=90] d90"
file[tiff-lzw]=photo.tif anchor[tiff-lzw]="vips rot photo.tif anchor.tif[compression=lzw,predictor=horizontal] d90"
file[tiff-page]=page.tif anchor[tiff-page]="vips rot page.tif anchor.tif[compression=ccittfax4,bitdepth=1] d90"
file[png8]=photo8.png anchor[png8]="vips rot photo8.png anchor.png d90"
file[png16]=photo16.png anchor[png16]="vips rot photo16.png anchor.png d90"
file[webp]=photo.webp anchor[webp]="vips rot photo.webp anchor.webp[lossless] d90"
file[bmp]=photo.bmp anchor[bmp]="vips rot photo.bmp anchor.bmp d90"
for c in "${cases[@]}"; do
  [ -n "${file[$c]:-}" ] || { echo "no case $c" >&2; exit 2; }
  echo "$c: ${file[$c]} $(stat -c %s "${file[$c]}") bytes; anchor: ${anchor[$c]}"
done

# seconds and peak kilobytes of a command, as "S KB"
timed() { /usr/bin/time -o timing -f "%e %M" "$@" >/dev/null && cat timing; }
declare -A ours theirs
for run in $(seq "$runs"); do
  for c in "${cases[@]}"; do
    f=${file[$c]}
    mine=$(timed "$bench" "$f" "turned.${f##*.}")
    read -r -a command <<<"${anchor[$c]}"
    other=$(timed "${command[@]}")
    ours[$c]+="$mine;" theirs[$c]+="$other;"
    echo "run $run $c: lumaset ${mine% *} s ${mine#* } KB, anchor ${other% *} s ${other#* } KB"
  done
done

median() { tr ';' '\n' | sed '/^$/d' | cut -d' ' -f"$1" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "medians of $runs runs (time in s, peak memory in MB; ratio lumaset / anchor):"
for c in "${cases[@]}"; do
  t1=$(median 1 <<<"${ours[$c]}") t2=$(median 1 <<<"${theirs[$c]}")
  m1=$(median 2 <<<"${ours[$c]}") m2=$(median 2 <<<"${theirs[$c]}")
  printf '%-10s lumaset %6.2f s %6d MB   anchor %6.2f s %6d MB   time %s   memory %s\n' "$c" "$t1" $((m1 / 1024)) \
    "$t2" $((m2 / 1024)) "$(ratio "$t1" "$t2")" "$(ratio "$m1" "$m2")"
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
