#!/usr/bin/env bash
# Toss throughput beside its floor. A node of 1,000 areas with 10 links each
# gets an inbound of small files with their TICs; identical copies of it are
# tossed by bench/toss_floor (only the file operations a toss cannot do
# without: see toss_floor.cpp) and by `brenmoor toss`, one after the other.
# Both must leave the same files in the same places. Prints for each the
# TICs per second, the toss's rate as a share of the floor's, the system
# calls per TIC and the peak memory, and the toss's most frequent calls.
#
#   bench/toss_bench.sh [COUNT ...]   COUNT TICs each (default 1000)
#   bench/toss_bench.sh --areas [N]   N TICs (500) over 1,000, 10,000 and 50,000 areas: the
#                                     rates and their fall from the first
#   bench/toss_bench.sh --dupes [N]   N TICs (500) against a full dupe database of 1,000 and of
#                                     65,535 records: what the checks after the first cost
#   bench/toss_bench.sh --memory [N]  N TICs (10000) over 50,000 areas: peak memory (slow: the
#                                     floor takes seconds, the toss an hour or more on 2 cores)
#
# AREAS and LINKS change the node of the default run. The system calls are
# counted in a second run of each under strace -f -c, as strace slows the
# run (Debian "strace": apt-get install strace; without it that column is
# left out). The nodes are made in BENCH_TMP (default /dev/shm), see
# bench/lib.sh; the programs are built in Release with the "bench" preset,
# or in BUILD_DIR. Needs python3 (to write the node) and /usr/bin/time
# (Debian "time") for peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
areas=${AREAS:-1000}
links=${LINKS:-10}
mode=counts
case "${1:-}" in
  --areas | --dupes | --memory) mode=${1#--}; shift ;;
esac
args=("$@")

. bench/lib.sh
bench_build brenmoor toss_floor
floor=$(realpath "$build/bench/toss_floor")
bench_scratch brenmoor-bench

strace=
if command -v strace >/dev/null && strace -f -qq -o /dev/null true 2>/dev/null; then
  strace=$(command -v strace)
fi

# make_node DIR TICS [DUPES]: the control files, the areas and an inbound of
# TICS small files with their TICs, spread over the areas; with DUPES, a full
# dupe database of that many records of other areas (MaxDupeRec DUPES).
make_node() {
  python3 - "$1" "$2" "$areas" "$links" "$lang" "${3:-0}" <<'EOF'
import os, shutil, struct, sys, zlib
node, tics, areas, links, lang = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
dupes = int(sys.argv[6])
os.makedirs(node + "/in")
def write(name, text):
    with open(os.path.join(node, name), "w", newline="") as f:
        f.write(text)
shutil.copy(lang, node + "/brenmoor.lng")
write("BRENMOOR.CTL", "\n".join([
    "Address 2:9999/1", "Inbound in/", "Outbound out/tic/", "PassTrough pass/", "BadTicDir bad/",
    "DupeDir dupes/", "TempDir tmp/", "Semaphores flags/", "NetmailIn netmail/in/", "NetmailOut netmail/out/",
    "Mode BINK", "BinkStyleOutbound out/outbound/", "CalculationCRC Yes", "WaitFile Yes", "Replaces Yes",
    "Lfn Yes", "Interface Plain", "DupeFile data/brenmoor.dup", "MaxDupeRec %d" % (dupes or 1000), "DescFile files.bbs",
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
if dupes:
    os.makedirs(node + "/data")
    with open(node + "/data/brenmoor.dup", "wb") as f:
        f.write(b"Brenmoor DUPE file  " + bytes(20) + struct.pack("<I", dupes))
        for n in range(1, dupes + 1):
            f.write(("OLD.AREA%05d" % (n % 50000)).ljust(20).encode() + ("O%07d.ZIP" % n).ljust(12).encode() +
                    struct.pack("<III", n * 2654435761 % 2**32, 1000 + n % 5000, n))
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

# The layout a run left: every directory and file (the outgoing TICs by a
# mask, as their names are random) and the size of each file other than the
# log and the outgoing TICs, whose text tells which program wrote it.
layout() {
  (cd "$1" && find . -mindepth 1 -printf '%y %p %s\n') | sed -E 's#BM[0-9A-Z]{6}\.TIC#BM______.TIC#' |
    awk '$1 == "d" || $2 ~ /^\.\/out\/tic\// || $2 == "./log/brenmoor.log" { $3 = "" } { print }' | sort | uniq -c
}

# toss_run WHO NODE COUNT: tosses the node with the floor or the program;
# sets seconds and peak (KiB). Ends the bench when the run went wrong.
toss_run() {
  local who=$1 node=$2 count=$3 start end processed bad sent
  local command=("$binary" toss)
  [ "$who" = floor ] && command=("$floor" "$node")
  start=$(date +%s.%N)
  (cd "$scratch" && BRENMOOR_DIR="$node" /usr/bin/time -v -o "$node.time" "${command[@]}" >"$node.out")
  end=$(date +%s.%N)
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$node.time")
  processed=$(sed -n 's/^Processed TIC files: *//p' "$node.out")
  bad=$(sed -n 's/^Bad TIC files: *//p' "$node.out")
  sent=$(find "$node/out/tic" -type f | wc -l)
  if [ "$processed" != "$count" ] || [ "$bad" != 0 ] || [ "$sent" -ne $((count * links)) ]; then
    echo "$who: toss of $count TICs went wrong: processed $processed, bad $bad, $sent TICs sent" >&2
    exit 1
  fi
}

# toss_calls WHO NODE: system calls of a toss of the node; sets calls (the
# total) and leaves strace's table in NODE.calls.
toss_calls() {
  local who=$1 node=$2
  local command=("$binary" toss)
  [ "$who" = floor ] && command=("$floor" "$node")
  (cd "$scratch" && BRENMOOR_DIR="$node" "$strace" -f -c -o "$node.calls" "${command[@]}" >/dev/null)
  calls=$(awk '$NF == "total" { print $4 }' "$node.calls")
}

# pair PROTO COUNT: the floor and the toss on copies of the node, in
# directories of names of one length (the flow files name their paths); sets
# f_seconds, t_seconds, f_peak, t_peak, and with CALLS=1 f_calls, t_calls.
pair() {
  local proto=$1 count=$2 who dir
  for who in floor toss; do
    dir=$scratch/${who:0:1}
    rm -rf "$dir"
    cp -a "$proto" "$dir"
    toss_run "$who" "$dir" "$count"
    printf -v "${who:0:1}_seconds" %s "$seconds"
    printf -v "${who:0:1}_peak" %s "$peak"
  done
  if ! diff <(layout "$scratch/f") <(layout "$scratch/t") >"$scratch/layout.diff"; then
    echo "floor and toss left different files (< floor, > toss):" >&2
    head -20 "$scratch/layout.diff" >&2
    exit 1
  fi
  if [ "${CALLS:-0}" = 1 ] && [ -n "$strace" ]; then
    for who in floor toss; do
      dir=$scratch/${who:0:1}
      rm -rf "$dir"
      cp -a "$proto" "$dir"
      toss_calls "$who" "$dir"
      printf -v "${who:0:1}_calls" %s "$calls"
    done
  fi
  rm -rf "$scratch/f" "$scratch/t"
}

rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.0f", n / t }'; }

printf 'in %s on %d CPUs; load before: %s\n' "$base" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
proto=$scratch/proto
case $mode in
counts)
  counts=("${args[@]}")
  [ ${#counts[@]} -gt 0 ] || counts=(1000)
  printf 'node: %d areas, %d links each; binary: %s\n' "$areas" "$links" "$binary"
  [ -n "$strace" ] || echo "strace not usable: system calls not counted"
  printf '%7s  %12s %12s %11s' TICs "floor TIC/s" "toss TIC/s" toss/floor
  [ -z "$strace" ] || printf '  %18s' "calls/TIC f / t"
  printf '  %s\n' "peak MiB f / t"
  for count in "${counts[@]}"; do
    make_node "$proto" "$count"
    CALLS=1 pair "$proto" "$count"
    fr=$(rate "$count" "$f_seconds")
    tr=$(rate "$count" "$t_seconds")
    printf '%7d  %12s %12s %11s' "$count" "$fr" "$tr" "$(awk -v a="$tr" -v b="$fr" 'BEGIN { printf "%.4f", a / b }')"
    [ -z "$strace" ] || printf '  %8.0f / %7.0f' "$(awk -v c="$f_calls" -v n="$count" 'BEGIN { print c / n }')" \
      "$(awk -v c="$t_calls" -v n="$count" 'BEGIN { print c / n }')"
    printf '  %5.1f / %.1f\n' "$(awk -v k="$f_peak" 'BEGIN { print k / 1024 }')" \
      "$(awk -v k="$t_peak" 'BEGIN { print k / 1024 }')"
    if [ -n "$strace" ]; then
      for who in floor toss; do
        printf '  %s, calls per TIC:' "$who"
        awk -v n="$count" 'NR > 2 && $NF != "total" && $1 !~ /^-/ { printf "%s %.1f\n", $NF, $4 / n }' \
          "$scratch/${who:0:1}.calls" | sort -k2,2 -rn | head -8 | awk '{ printf " %s %s", $1, $2 } END { print "" }'
      done
    fi
    rm -rf "$proto"
  done
  ;;
areas)
  count=${args[0]:-500}
  printf '%d TICs, %d links each; binary: %s\n' "$count" "$links" "$binary"
  printf '%7s  %12s %8s  %12s %8s\n' areas "floor TIC/s" fall "toss TIC/s" fall
  first_f= first_t=
  for areas in 1000 10000 50000; do
    make_node "$proto" "$count"
    pair "$proto" "$count"
    fr=$(rate "$count" "$f_seconds")
    tr=$(rate "$count" "$t_seconds")
    first_f=${first_f:-$fr} first_t=${first_t:-$tr}
    printf '%7d  %12s %7.1f%%  %12s %7.1f%%\n' "$areas" "$fr" "$(awk -v a="$fr" -v b="$first_f" 'BEGIN { print 100 * (b - a) / b }')" \
      "$tr" "$(awk -v a="$tr" -v b="$first_t" 'BEGIN { print 100 * (b - a) / b }')"
    rm -rf "$proto"
  done
  ;;
dupes)
  count=${args[0]:-500}
  printf '%d TICs, %d areas, %d links each; binary: %s\n' "$count" "$areas" "$links" "$binary"
  printf '%8s  %12s %9s  %12s %9s\n' records "floor TIC/s" ms/TIC "toss TIC/s" ms/TIC
  for records in 1000 65535; do
    make_node "$proto" "$count" "$records"
    pair "$proto" "$count"
    printf '%8d  %12s %9.3f  %12s %9.3f\n' "$records" "$(rate "$count" "$f_seconds")" \
      "$(awk -v t="$f_seconds" -v n="$count" 'BEGIN { print 1000 * t / n }')" "$(rate "$count" "$t_seconds")" \
      "$(awk -v t="$t_seconds" -v n="$count" 'BEGIN { print 1000 * t / n }')"
    eval "f_ms_$records=\$(awk -v t=\"\$f_seconds\" -v n=\"\$count\" 'BEGIN { print 1000 * t / n }')"
    eval "t_ms_$records=\$(awk -v t=\"\$t_seconds\" -v n=\"\$count\" 'BEGIN { print 1000 * t / n }')"
    rm -rf "$proto"
  done
  # The first check has to read the database; every later one could be
  # answered from memory. The difference is what 64,535 more records cost
  # each of them.
  printf '64,535 more records: floor %+.3f ms per TIC, toss %+.3f ms per TIC\n' \
    "$(awk -v a="$f_ms_65535" -v b="$f_ms_1000" 'BEGIN { print a - b }')" \
    "$(awk -v a="$t_ms_65535" -v b="$t_ms_1000" 'BEGIN { print a - b }')"
  ;;
memory)
  count=${args[0]:-10000}
  areas=50000
  printf '%d TICs over %d areas, %d links each; binary: %s\n' "$count" "$areas" "$links" "$binary"
  make_node "$proto" "$count"
  # Each result as it comes: the toss takes long.
  for who in floor toss; do
    cp -a "$proto" "$scratch/${who:0:1}"
    toss_run "$who" "$scratch/${who:0:1}" "$count"
    printf '%-6s %8.1f s  %6s TICs/s  peak memory %.1f MiB\n' "$who:" "$seconds" "$(rate "$count" "$seconds")" \
      "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
  done
  ;;
esac
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
