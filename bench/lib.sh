# Sourced by the bench scripts (from the top of the work tree): the build of
# what they run and their scratch directory.
#
# bench_build TARGET...  builds the targets in Release with the "bench"
#   preset, or in BUILD_DIR when that is set; sets build, binary (the
#   brenmoor program) and lang (the language file).
# bench_scratch PREFIX   makes a directory in BENCH_TMP (default /dev/shm
#   when writable, else TMPDIR or /tmp), removed when the script ends; sets
#   base and scratch. On a disk a run mostly measures the file system's
#   inode allocation, which on a busy ext4 varies several-fold between runs.

bench_build() {
  if [ -n "${BUILD_DIR:-}" ]; then
    build=$BUILD_DIR
    local bench=OFF target
    for target in "$@"; do [ "$target" = brenmoor ] || bench=ON; done
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENMOOR_TESTS=OFF -DBRENMOOR_BENCH=$bench >/dev/null
    cmake --build "$build" --target "$@" >/dev/null
  else
    build=build/bench
    cmake --preset bench >/dev/null
    cmake --build --preset bench --target "$@" >/dev/null
  fi
  binary=$(realpath "$build/src/brenmoor")
  lang=$(realpath lang/brenmoor.lng)
}

bench_scratch() {
  base=${BENCH_TMP:-/dev/shm}
  [ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
  scratch=$(mktemp -d "$base/$1.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
}
