#!/usr/bin/env bash
# Times the program's start to its first drawn main window (bench_startup,
# the program as main() runs it, with settings from an earlier start) against
# a bare Qt main window with six menus of the same size (bench_bare_window,
# linked with nothing but Qt Widgets), in a Release build. The two run in
# turn, pair by pair, each as a fresh process; each reports how long after
# its process began its window was drawn. Prints both medians and the median
# of the pairs' ratios (goal: at most 1.5x), twice: with no print system
# (CUPS_SERVER names a socket nobody listens on), and with a private CUPS
# scheduler of four queues, as a user's machine has them (bench_print_scheduler;
# needs cups, and is left out, saying so, without it).
#
#   bench/startup.sh
#
# On the X display in $DISPLAY, else on a private Xvfb when there is one,
# else offscreen (which draws nothing on a screen: say so when quoting).
# RUNS sets the number of pairs (11), after one warm-up pair.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
runs=${RUNS:-11}

. "$root/bench/bench_build.sh"
build_bench bench_startup bench_bare_window bench_print_scheduler

work=$(mktemp -d)
# Short, and where the scheduler's own user reaches it: its socket lies there.
cups=$(mktemp -d /tmp/lumaset-bench-cups-XXXXXX)
xvfb=
scheduler=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  if [ -n "$scheduler" ]; then
    [ -n "${SCHEDULER[1]:-}" ] && eval "exec ${SCHEDULER[1]}>&-"
    wait "$scheduler" 2>/dev/null || true
  fi
  rm -rf "$work" "$cups"
}
trap cleanup EXIT

platform=()
if [ -n "${DISPLAY:-}" ]; then
  where="X display $DISPLAY"
elif command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(cat "$work/display")"
  where="a private Xvfb ($DISPLAY, 1920 x 1080)"
else
  platform=(QT_QPA_PLATFORM=offscreen)
  where="offscreen (no X server found)"
fi
home=$work/home
mkdir -p "$home/run" && chmod 700 "$home/run"

# One start with the print server $server: the milliseconds from the process's start to its drawn window.
start() {
  env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" CUPS_SERVER="$server" ${DISPLAY:+DISPLAY=$DISPLAY} \
    "${platform[@]}" "$@" 2>/dev/null | awk '/^drawn / { print $2 }'
}

# measure LABEL: the pairs with the print server $server, and their medians.
measure() {
  echo "$1:"
  start "$build/bin/bench_startup" >/dev/null  # the first start writes the settings and folders
  start "$build/bin/bench_bare_window" >/dev/null
  for run in $(seq "$runs"); do
    program=$(start "$build/bin/bench_startup")
    bare=$(start "$build/bin/bench_bare_window")
    [ -n "$program" ] && [ -n "$bare" ] || { echo "pair $run: a start reported no drawn window" >&2; exit 1; }
    echo "$program $bare"
  done >"$work/pairs"
  awk '{ p[NR] = $1; b[NR] = $2; r[NR] = $1 / $2 }
       function median(a, n,   i, j, t) {
         for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
         return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
       END { printf "  program (bench_startup):        median %6.1f ms\n", median(p, NR)
             printf "  bare Qt window, six menus:      median %6.1f ms\n", median(b, NR)
             printf "  program / bare, pair by pair:   median %6.2fx (goal: at most 1.5x)\n", median(r, NR) }' "$work/pairs"
}

echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg); on $where"
echo "ms from the process's start to its first drawn main window; $runs pairs, taking turns"
server=$work/no-print-server.sock
measure "no print system"
if PATH=$PATH:/usr/sbin command -v cupsd >/dev/null; then
  coproc SCHEDULER { "$build/bin/bench_print_scheduler" "$cups"; }
  scheduler=$SCHEDULER_PID
  read -r ready server <&"${SCHEDULER[0]}" || true
  [ "${ready:-}" = ready ] || { echo "the private print scheduler did not start" >&2; exit 1; }
  measure "a private CUPS scheduler with four queues"
else
  echo "a private CUPS scheduler with four queues: left out (cupsd is missing: package cups)"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
