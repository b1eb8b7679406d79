# Sourced by the bench scripts (from the top of the work tree): the build of
# what they run and their scratch directory.
#
# bench_build TARGET...  builds the targets in Release with the "bench"
#   preset, or in BUILD_DIR when that is set; sets build, binary (the
#   brenmoor program) and lang (the language file). With BEFORE naming an
#   earlier brenmoor binary, sets before to its full path, for the scripts
#   to run it on identical copies of each node beside the one built; else
#   before is empty.
# bench_path PATH        PATH, given from where the script was started, as a
#   full path: the scripts cd to the top of the work tree before sourcing
#   this.
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
  before=
  if [ -n "${BEFORE:-}" ]; then
    before=$(bench_path "$BEFORE")
    if ! [ -f "$before" ] || ! [ -x "$before" ]; then
      echo "BEFORE=$BEFORE: no such program" >&2
      exit 1
    fi
    before=$(realpath "$before")
  fi
}

bench_path() {
  case $1 in
  /*) echo "$1" ;;
  *) echo "${OLDPWD:-$PWD}/$1" ;;
  esac
}

bench_scratch() {
  base=${BENCH_TMP:-/dev/shm}
  [ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
  scratch=$(mktemp -d "$base/$1.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
}
