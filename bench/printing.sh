#!/usr/bin/env bash
# Times the Print command on a Letter page of eight 24-megapixel JPEGs
# (bench_printing), to the capture queue of a private CUPS scheduler and to
# a PDF file without a printer, each with FastPrint off and on, and reports
# the median time from the command to the job handed over and the peak
# memory of each run.
#
#   bench/printing.sh [CACHE_FOLDER]
#
# Needs: root (the private scheduler runs as lp), cups, and what the build
# needs. RUNS sets the number of timed prints per case (5).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaset-bench/photos24}
runs=${RUNS:-5}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
fi
ninja -C "$build" bench_printing >/dev/null
bench=$build/bin/bench_printing

"$bench" "$cache" --generate-only
echo "cores: $(nproc)"
for target in "" --pdf; do
  for fast in "" --fast; do
    QT_QPA_PLATFORM=offscreen "$bench" "$cache" $target $fast --runs "$runs"
  done
done
