# Sourced by the bench scripts once they have set $root and $build.

# need TOOL...: stops the bench, naming what is missing, unless each tool is
# there; "time" stands for /usr/bin/time (package time), not the shell's.
need() {
  local tool
  for tool in "$@"; do
    if [ "$tool" = time ]; then
      [ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (package time)" >&2; exit 2; }
    else
      PATH=$PATH:/usr/sbin command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
    fi
  done
}

# build_bench TARGET...: a Release build in $build, configured once (through
# CMAKE_CXX_COMPILER_LAUNCHER when it is set), then the targets brought up to date.
build_bench() {
  need cmake ninja
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
      ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
  fi
  ninja -C "$build" "$@" >/dev/null
}
