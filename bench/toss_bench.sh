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
#   bench/toss_bench.sh --large [GiB] one file of GiB (4) in one area, no floor: the seconds, the
#                                     MiB/s of its check, the peak memory, the Size the toss
#                                     wrote in its TICs (ok when it is the real size) and the
#                                     size in its dupe record. The file is sparse (truncate -s),
#                                     or a copy of LARGE_FILE when that names a real file.
#
# BEFORE=path names an earlier brenmoor binary: every mode then also tosses
# another identical copy of the node with it and prints its figures beside,
# labelled "before"; where the floor runs, its layout must equal the floor's
# too.
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
  --areas | --dupes | --memory | --large) mode=${1#--}; shift ;;
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

# who_command WHO NODE: the command line of the floor, the program (toss)
# or the earlier program (before) on the node, in command.
who_command() {
  case $1 in
  floor) command=("$floor" "$2") ;;
  before) command=("$before" toss) ;;
  *) command=("$binary" toss) ;;
  esac
}

# toss_time WHO NODE: tosses the node; sets status (its exit status),
# seconds, peak (KiB), from the console output processed and bad, and sent
# (the TICs in out/tic).
toss_time() {
  local who=$1 node=$2 start end command
  who_command "$who" "$node"
  start=$(date +%s.%N)
  status=0
  (cd "$scratch" && BRENMOOR_DIR="$node" /usr/bin/time -v -o "$node.time" "${command[@]}" >"$node.out") || status=$?
  end=$(date +%s.%N)
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$node.time")
  processed=$(sed -n 's/^Processed TIC files: *//p' "$node.out")
  bad=$(sed -n 's/^Bad TIC files: *//p' "$node.out")
  sent=$(find "$node/out/tic" -type f 2>/dev/null | wc -l)
}

# toss_run WHO NODE COUNT: tosses the node with the floor or a program;
# sets seconds and peak (KiB). Ends the bench when the run went wrong.
toss_run() {
  local who=$1 node=$2 count=$3
  toss_time "$who" "$node"
  if [ "$status" != 0 ]; then
    echo "$who: toss of $count TICs ended with $status" >&2
    exit 1
  fi
  if [ "$processed" != "$count" ] || [ "$bad" != 0 ] || [ "$sent" -ne $((count * links)) ]; then
    echo "$who: toss of $count TICs went wrong: processed $processed, bad $bad, $sent TICs sent" >&2
    exit 1
  fi
}

# toss_calls WHO NODE: system calls of a toss of the node; sets calls (the
# total) and leaves strace's table in NODE.calls.
toss_calls() {
  local who=$1 node=$2 command
  who_command "$who" "$node"
  (cd "$scratch" && BRENMOOR_DIR="$node" "$strace" -f -c -o "$node.calls" "${command[@]}" >/dev/null)
  calls=$(awk '$NF == "total" { print $4 }' "$node.calls")
}

# The programs of a pair: with BEFORE the earlier one is the third.
whos=(floor toss)
[ -z "$before" ] || whos+=(before)

# pair PROTO COUNT: the floor and the toss (and before) on copies of the
# node, in directories of names of one length (the flow files name their
# paths); sets f_seconds, t_seconds, f_peak, t_peak, and with CALLS=1
# f_calls, t_calls; for before b_seconds, b_peak and b_calls.
pair() {
  local proto=$1 count=$2 who dir
  for who in "${whos[@]}"; do
    dir=$scratch/${who:0:1}
    rm -rf "$dir"
    cp -a "$proto" "$dir"
    toss_run "$who" "$dir" "$count"
    printf -v "${who:0:1}_seconds" %s "$seconds"
    printf -v "${who:0:1}_peak" %s "$peak"
  done
  for who in "${whos[@]:1}"; do
    same_layout "$who"
  done
  if [ "${CALLS:-0}" = 1 ] && [ -n "$strace" ]; then
    for who in "${whos[@]}"; do
      dir=$scratch/${who:0:1}
      rm -rf "$dir"
      cp -a "$proto" "$dir"
      toss_calls "$who" "$dir"
      printf -v "${who:0:1}_calls" %s "$calls"
    done
  fi
  rm -rf "$scratch/f" "$scratch/t" "$scratch/b"
}

# same_layout WHO: ends the bench when WHO's copy of the node was left
# otherwise than the floor's.
same_layout() {
  local who=$1
  if ! diff <(layout "$scratch/f") <(layout "$scratch/${who:0:1}") >"$scratch/layout.diff"; then
    echo "floor and $who left different files (< floor, > $who):" >&2
    head -20 "$scratch/layout.diff" >&2
    exit 1
  fi
}

rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.0f", n / t }'; }
ms_per() { awk -v t="$1" -v n="$2" 'BEGIN { print 1000 * t / n }'; }
fall() { awk -v a="$1" -v b="$2" 'BEGIN { print 100 * (b - a) / b }'; }

# large_node DIR BYTES: a node of one area whose inbound holds one file of
# BYTES (sparse) or a copy of LARGE_FILE, with its TIC; sets size and crc.
large_node() {
  local node=$1
  make_node "$node" 0
  if [ -n "${LARGE_FILE:-}" ]; then
    cp "$(bench_path "$LARGE_FILE")" "$node/in/LARGE.BIN"
  else
    truncate -s "$2" "$node/in/LARGE.BIN"
  fi
  size=$(stat -c %s "$node/in/LARGE.BIN")
  crc=$(python3 -c '
import sys, zlib
crc = 0
with open(sys.argv[1], "rb") as f:
    while chunk := f.read(16 << 20):
        crc = zlib.crc32(chunk, crc)
print("%08X" % crc)' "$node/in/LARGE.BIN")
  printf '%s\r\n' "Area BENCH.AREA0000" "Origin 2:9999/100" "From 2:9999/100" "To 2:9999/1" "File LARGE.BIN" \
    "Desc Bench file of $size bytes" "Size $size" "Crc $crc" "Path 2:9999/100 1780000000 bench" \
    "Seenby 2:9999/100" "Pw UPLINK" >"$node/in/BN000000.TIC"
}

# large_report WHO NODE: what a toss of the large node left, on one line
# (and a line before it when the run went wrong): the Size of one of its
# TICs and the size field of the last dupe record.
large_report() {
  local who=$1 node=$2 tic size_line verdict dupes last dupe_size=none
  if [ "$status" != 0 ] || [ "$processed" != 1 ] || [ "$bad" != 0 ] || [ "$sent" -ne "$links" ]; then
    printf '%s exit status %s, processed %s TICs, %s bad, %d TICs sent\n' "$who:" "$status" "${processed:-no}" \
      "${bad:-no}" "$sent"
  fi
  tic=$(find "$node/out/tic" -type f -iname '*.tic' 2>/dev/null | sort | head -1)
  size_line=
  [ -z "$tic" ] || size_line=$(tr -d '\r' <"$tic" | grep -ai -m1 '^size ' || true)
  verdict=WRONG
  [ "$size_line" = "Size $size" ] && verdict=ok
  dupes=$node/data/brenmoor.dup
  if [ -f "$dupes" ]; then
    # The header's uint32 at 40 numbers the last record written; its size
    # field is at 36 in it.
    last=$(od -An -t u4 -j 40 -N 4 "$dupes" | tr -d ' ')
    [ -z "$last" ] || dupe_size=$(od -An -t u4 -j $((last * 44 + 36)) -N 4 "$dupes" | tr -d ' ')
    dupe_size=${dupe_size:-none}
  fi
  printf '%-7s %8.2f s  %8.1f MiB/s  peak memory %.1f MiB  TIC "%s" %s  dupe record size %s\n' "$who:" \
    "$seconds" "$(awk -v b="$size" -v t="$seconds" 'BEGIN { print b / 1048576 / t }')" \
    "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" "${size_line:-(no TIC)}" "$verdict" "$dupe_size"
}

printf 'in %s on %d CPUs; load before: %s\n' "$base" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
proto=$scratch/proto
case $mode in
counts)
  counts=("${args[@]}")
  [ ${#counts[@]} -gt 0 ] || counts=(1000)
  printf 'node: %d areas, %d links each; binary: %s\n' "$areas" "$links" "$binary"
  [ -z "$before" ] || printf 'before: %s\n' "$before"
  [ -n "$strace" ] || echo "strace not usable: system calls not counted"
  printf '%7s  %12s %12s %11s' TICs "floor TIC/s" "toss TIC/s" toss/floor
  [ -z "$before" ] || printf '  %12s %12s' "before TIC/s" before/floor
  if [ -z "$before" ]; then
    [ -z "$strace" ] || printf '  %18s' "calls/TIC f / t"
    printf '  %s\n' "peak MiB f / t"
  else
    [ -z "$strace" ] || printf '  %28s' "calls/TIC f / t / b"
    printf '  %s\n' "peak MiB f / t / b"
  fi
  for count in "${counts[@]}"; do
    make_node "$proto" "$count"
    CALLS=1 pair "$proto" "$count"
    fr=$(rate "$count" "$f_seconds")
    tr=$(rate "$count" "$t_seconds")
    printf '%7d  %12s %12s %11s' "$count" "$fr" "$tr" "$(awk -v a="$tr" -v b="$fr" 'BEGIN { printf "%.4f", a / b }')"
    if [ -n "$before" ]; then
      br=$(rate "$count" "$b_seconds")
      printf '  %12s %12s' "$br" "$(awk -v a="$br" -v b="$fr" 'BEGIN { printf "%.4f", a / b }')"
    fi
    [ -z "$strace" ] || printf '  %8.0f / %7.0f' "$(awk -v c="$f_calls" -v n="$count" 'BEGIN { print c / n }')" \
      "$(awk -v c="$t_calls" -v n="$count" 'BEGIN { print c / n }')"
    [ -z "$strace" ] || [ -z "$before" ] || printf ' / %7.0f' "$(awk -v c="$b_calls" -v n="$count" 'BEGIN { print c / n }')"
    printf '  %5.1f / %.1f' "$(awk -v k="$f_peak" 'BEGIN { print k / 1024 }')" \
      "$(awk -v k="$t_peak" 'BEGIN { print k / 1024 }')"
    [ -z "$before" ] || printf ' / %.1f' "$(awk -v k="$b_peak" 'BEGIN { print k / 1024 }')"
    printf '\n'
    if [ -n "$strace" ]; then
      for who in "${whos[@]}"; do
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
  [ -z "$before" ] || printf 'before: %s\n' "$before"
  printf '%7s  %12s %8s  %12s %8s' areas "floor TIC/s" fall "toss TIC/s" fall
  [ -z "$before" ] || printf '  %12s %8s' "before TIC/s" fall
  printf '\n'
  first_f= first_t= first_b=
  for areas in 1000 10000 50000; do
    make_node "$proto" "$count"
    pair "$proto" "$count"
    fr=$(rate "$count" "$f_seconds")
    tr=$(rate "$count" "$t_seconds")
    first_f=${first_f:-$fr} first_t=${first_t:-$tr}
    printf '%7d  %12s %7.1f%%  %12s %7.1f%%' "$areas" "$fr" "$(fall "$fr" "$first_f")" "$tr" "$(fall "$tr" "$first_t")"
    if [ -n "$before" ]; then
      br=$(rate "$count" "$b_seconds")
      first_b=${first_b:-$br}
      printf '  %12s %7.1f%%' "$br" "$(fall "$br" "$first_b")"
    fi
    printf '\n'
    rm -rf "$proto"
  done
  ;;
dupes)
  count=${args[0]:-500}
  printf '%d TICs, %d areas, %d links each; binary: %s\n' "$count" "$areas" "$links" "$binary"
  [ -z "$before" ] || printf 'before: %s\n' "$before"
  printf '%8s  %12s %9s  %12s %9s' records "floor TIC/s" ms/TIC "toss TIC/s" ms/TIC
  [ -z "$before" ] || printf '  %12s %9s' "before TIC/s" ms/TIC
  printf '\n'
  for records in 1000 65535; do
    make_node "$proto" "$count" "$records"
    pair "$proto" "$count"
    printf -v "f_ms_$records" %s "$(ms_per "$f_seconds" "$count")"
    printf -v "t_ms_$records" %s "$(ms_per "$t_seconds" "$count")"
    printf '%8d  %12s %9.3f  %12s %9.3f' "$records" "$(rate "$count" "$f_seconds")" "$(ms_per "$f_seconds" "$count")" \
      "$(rate "$count" "$t_seconds")" "$(ms_per "$t_seconds" "$count")"
    if [ -n "$before" ]; then
      printf -v "b_ms_$records" %s "$(ms_per "$b_seconds" "$count")"
      printf '  %12s %9.3f' "$(rate "$count" "$b_seconds")" "$(ms_per "$b_seconds" "$count")"
    fi
    printf '\n'
    rm -rf "$proto"
  done
  # The first check has to read the database; every later one could be
  # answered from memory. The difference is what 64,535 more records cost
  # each of them.
  printf '64,535 more records: floor %+.3f ms per TIC, toss %+.3f ms per TIC' \
    "$(awk -v a="$f_ms_65535" -v b="$f_ms_1000" 'BEGIN { print a - b }')" \
    "$(awk -v a="$t_ms_65535" -v b="$t_ms_1000" 'BEGIN { print a - b }')"
  [ -z "$before" ] || printf ', before %+.3f ms per TIC' "$(awk -v a="$b_ms_65535" -v b="$b_ms_1000" 'BEGIN { print a - b }')"
  printf '\n'
  ;;
memory)
  count=${args[0]:-10000}
  areas=50000
  printf '%d TICs over %d areas, %d links each; binary: %s\n' "$count" "$areas" "$links" "$binary"
  [ -z "$before" ] || printf 'before: %s\n' "$before"
  make_node "$proto" "$count"
  width=6
  [ -z "$before" ] || width=7
  # Each result as it comes: the toss takes long.
  for who in "${whos[@]}"; do
    cp -a "$proto" "$scratch/${who:0:1}"
    toss_run "$who" "$scratch/${who:0:1}" "$count"
    printf '%-*s %8.1f s  %6s TICs/s  peak memory %.1f MiB\n' "$width" "$who:" "$seconds" "$(rate "$count" "$seconds")" \
      "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
    [ "$who" != before ] || same_layout before
  done
  ;;
large)
  gib=${args[0]:-4}
  areas=1
  bytes=$(awk -v g="$gib" 'BEGIN { printf "%.0f", g * 1073741824 }')
  large_node "$proto" "$bytes"
  printf 'one file of %s bytes (%s), CRC %s, in 1 area, %d links; binary: %s\n' "$size" \
    "$([ -n "${LARGE_FILE:-}" ] && echo "a copy of $LARGE_FILE" || echo sparse)" "$crc" "$links" "$binary"
  [ -z "$before" ] || printf 'before: %s\n' "$before"
  # One copy at a time: a toss that copies the file holds it in memory on tmpfs.
  for who in "${whos[@]:1}"; do
    cp -a "$proto" "$scratch/${who:0:1}"
    toss_time "$who" "$scratch/${who:0:1}"
    large_report "$who" "$scratch/${who:0:1}"
    rm -rf "$scratch/${who:0:1}"
  done
  ;;
esac
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
