#!/usr/bin/env bash
# Toss throughput: a node with 1,000 areas of 10 links each tosses a few
# thousand TICs of small files, once per count given (default 1000 and
# 5000). Prints TICs per second and the peak memory of each run; the rate
# should not fall as the count grows (the toss is linear in the TICs).
#
#   bench/toss_bench.sh [COUNT ...]
#
# AREAS and LINKS change the node's size. The nodes are made in BENCH_TMP
# (default /dev/shm when writable, else TMPDIR or /tmp): on a disk the run
# mostly measures the file system's inode allocation for the tens of
# thousands of TICs written, which on a busy ext4 varies several-fold from
# run to run. The program is built in Release with the "bench" preset, or
# in BUILD_DIR when that is set. Needs python3 (to write the node) and
# /usr/bin/time (Debian "time") for peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
areas=${AREAS:-1000}
links=${LINKS:-10}
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 5000)

if [ -n "${BUILD_DIR:-}" ]; then
  build=$BUILD_DIR
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENMOOR_TESTS=OFF >/dev/null
  cmake --build "$build" --target brenmoor >/dev/null
else
  build=build/bench
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target brenmoor >/dev/null
fi
binary=$(realpath "$build/src/brenmoor")
lang=$(realpath lang/brenmoor.lng)

base=${BENCH_TMP:-/dev/shm}
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$base/brenmoor-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# make_node DIR TICS: the control files, the areas and an inbound of TICS
# small files with their TICs, spread over the areas.
make_node() {
  python3 - "$1" "$2" "$areas" "$links" "$lang" <<'EOF'
import os, shutil, sys, zlib
node, tics, areas, links, lang = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
os.makedirs(node + "/in")
def write(name, text):
    with open(os.path.join(node, name), "w", newline="") as f:
        f.write(text)
shutil.copy(lang, node + "/brenmoor.lng")
write("BRENMOOR.CTL", "\n".join([
    "Address 2:9999/1", "Inbound in/", "Outbound out/tic/", "PassTrough pass/", "BadTicDir bad/",
    "DupeDir dupes/", "TempDir tmp/", "Semaphores flags/", "NetmailIn netmail/in/", "NetmailOut netmail/out/",
    "Mode BINK", "BinkStyleOutbound out/outbound/", "CalculationCRC Yes", "WaitFile Yes", "Replaces Yes",
    "Lfn Yes", "Interface Plain", "DupeFile data/brenmoor.dup", "MaxDupeRec 1000", "DescFile files.bbs",
    "DescMode SMART", "DescPos 19", "LongDescChars '                 |'", "LogName log/brenmoor.log",
    "AnnounceDir announce/", "Separator ','", ""]))
link_lines = ["Link 2:9999/100", "AKA 2:9999/1", "Password UPLINK", "Security 100", "FilesSend HOLD", ""]
for n in range(links):
    link_lines += ["Link 2:9999/%d" % (101 + n), "AKA 2:9999/1", "Password PW%d" % n, "Security 10",
                   "Group A", "FilesSend DIRECT", ""]
write("Links.ctl", "\n".join(link_lines))
write("Groups.ctl", "Group A\nPath files/\nAKA 2:9999/1\n")
write("arc.ctl", "Archiver ZIP\nSignature 0,504B0304\nExtractFile unzip -o -qq -j -C %A %F -d %T\n")
write("bbssoft.ctl", "")
write("colors.ctl", "")
receivers = " ".join(str(101 + n) for n in range(links))
blocks = []
for a in range(areas):
    blocks.append("Area BENCH.AREA%04d\r\nPath files/area%04d/\r\nDesc Bench area %d\r\nGroup A\r\n"
                  "AKA 2:9999/1\r\nLinks 100 %s\r\n" % (a, a, a, receivers))
write("areas.ctl", "\r\n".join(blocks))
for i in range(tics):
    name = "F%06d.BIN" % i
    data = (("file %d of the bench " % i) * (3 + i % 7)).encode()
    with open(node + "/in/" + name, "wb") as f:
        f.write(data)
    tic = "\r\n".join([
        "Area BENCH.AREA%04d" % (i % areas), "Origin 2:9999/100", "From 2:9999/100", "To 2:9999/1",
        "File " + name, "Desc Bench file %d" % i, "Size %d" % len(data), "Crc %08X" % (zlib.crc32(data) & 0xFFFFFFFF),
        "Path 2:9999/100 1780000000 bench", "Seenby 2:9999/100", "Pw UPLINK", ""])
    with open(node + "/in/BN%06d.TIC" % i, "w", newline="") as f:
        f.write(tic)
EOF
}

printf 'node: %d areas, %d links each, in %s; binary: %s\n' "$areas" "$links" "$base" "$binary"
for count in "${counts[@]}"; do
  node=$scratch/node-$count
  make_node "$node" "$count"
  start=$(date +%s.%N)
  (cd "$scratch" && BRENMOOR_DIR="$node" /usr/bin/time -v -o "$node.time" "$binary" toss >"$node.out")
  end=$(date +%s.%N)
  processed=$(sed -n 's/^Processed TIC files: *//p' "$node.out")
  bad=$(sed -n 's/^Bad TIC files: *//p' "$node.out")
  sent=$(find "$node/out/tic" -type f | wc -l)
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$node.time")
  if [ "$processed" != "$count" ] || [ "$bad" != 0 ] || [ "$sent" -ne $((count * links)) ]; then
    echo "toss of $count TICs went wrong: processed $processed, bad $bad, $sent TICs sent" >&2
    exit 1
  fi
  awk -v n="$count" -v s="$start" -v e="$end" -v sent="$sent" -v kb="$peak" 'BEGIN {
    t = e - s
    printf "%6d TICs: %7.2f s  %7.0f TICs/s  (%d TICs sent on)  peak memory %.1f MiB\n", n, t, n / t, sent, kb / 1024
  }'
  rm -rf "$node"
done
