#!/usr/bin/env bash
# Toss throughput beside its floor, on tmpfs and on a real file system. A
# node of 1,000 areas with 10 links each gets an inbound of small files with
# their TICs; identical copies of it are tossed by bench/toss_floor (only the
# file operations a toss cannot do without: no journal, lock or sync, see
# toss_floor.cpp), by `brenmoor toss` with "Durability Full" and by it with
# "Durability None", one after the other. All must leave the same files in
# the same places.
#
#   bench/toss_bench.sh [COUNT ...]   COUNT TICs each (default 2000) on tmpfs: for the floor,
#                                     Full and None the TICs per second, the share of the
#                                     floor's rate (goal: Full at least 0.5), the system calls
#                                     and the sync calls (syncfs, fsync, fdatasync, sync) per
#                                     TIC, the peak memory and the most frequent calls; with
#                                     DISK=1 then the --disk run of the first COUNT (left out
#                                     by default: it takes minutes)
#   bench/toss_bench.sh --disk [N]    N TICs (2000) tossed with Full and with None on a real
#                                     file system: both rates, Full's share of None's (goal:
#                                     at least 0.5), the calls and sync calls per TIC
#   bench/toss_bench.sh --sync [B]    bench/sync_bench on that real file system: a toss's batch
#                                     of 100 TICs made durable by one syncfs against fdatasync
#                                     of each file and fsync of each directory, B batches (5)
#                                     each, quiet and while another process writes
#   bench/toss_bench.sh --areas [N]   N TICs (2000) tossed with Full over 1,000 and 50,000
#                                     areas: the rates and the second's share of the first's
#                                     (goal: at least 0.8), the floor's beside
#   bench/toss_bench.sh --dupes [N]   N TICs (500) against a full dupe database of 1,000 and of
#                                     65,535 records: what the checks after the first cost
#   bench/toss_bench.sh --memory [N]  N TICs (10000) over 50,000 areas: peak memory (slow: the
#                                     floor takes seconds, the toss an hour or more on 2 cores)
#   bench/toss_bench.sh --large [GiB] one file of GiB (4) in one area, no floor: the seconds, the
#                                     MiB/s of its check, the peak memory, the Size the toss
#                                     wrote in its TICs (ok when it is the real size) and the
#                                     size in its dupe record. The file is sparse (truncate -s),
#                                     or a copy of LARGE_FILE when that names a real file.
# Apart from None, and from the floor which ignores it, every toss runs with
# Durability Full.
#
# The real file system is ext4 in a sparse file of DISK_TMP (default
# /var/tmp) on a loop device, when losetup and mount work (as root; Debian
# "mount" and "e2fsprogs"), unmounted and detached when the script ends;
# else a directory in DISK_TMP. DISK_DIR=dir measures in a directory made in
# dir instead. The bench says which it measured. Each copy of the node is
# synced before its toss, all but the inbound, which stays in the page cache
# as a mailer leaves it.
#
# BEFORE=path names an earlier brenmoor binary: every mode then also tosses
# another identical copy of the node with it (Durability Full) and prints its
# figures beside, labelled "before"; its layout must equal the others' too.
#
# ROUNDS=n tosses each copy n times in turn and keeps the fastest of each,
# as the rates of a machine shared with other work vary from run to run.
# AREAS and LINKS change the node of the default and --disk runs. The system
# calls are counted in a second run of each under strace -f -c, as strace
# slows the run (Debian "strace": apt-get install strace; without it those
# columns are left out). The tmpfs nodes are made in BENCH_TMP (default
# /dev/shm), see bench/lib.sh; the programs are built in Release with the
# "bench" preset, or in BUILD_DIR. Needs python3 (to write the node) and
# /usr/bin/time (Debian "time") for peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
areas=${AREAS:-1000}
links=${LINKS:-10}
mode=counts
case "${1:-}" in
  --disk | --sync | --areas | --dupes | --memory | --large) mode=${1#--}; shift ;;
esac
args=("$@")

. bench/lib.sh
bench_build brenmoor toss_floor sync_bench
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
    "AnnounceDir announce/", "Separator ','", "Durability Full", ""]))
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
# log and the outgoing TICs, whose text tells which program wrote it, and
# BRENMOOR.CTL, whose Durability differs.
layout() {
  (cd "$1" && find . -mindepth 1 -printf '%y %p %s\n') | sed -E 's#BM[0-9A-Z]{6}\.TIC#BM______.TIC#' |
    awk '$1 == "d" || $2 ~ /^\.\/out\/tic\// || $2 == "./log/brenmoor.log" || $2 == "./BRENMOOR.CTL" { $3 = "" }
         { print }' | sort | uniq -c
}

# Who tosses: the floor, brenmoor with Durability Full or None, BEFORE's
# binary (with Full). Each tosses its own copy of the node, in a directory
# of one letter, so that all paths have one length (the flow files name
# them); its figures go to variables of that letter (t_seconds, ...).
declare -A letter=([floor]=f [full]=t [none]=n [before]=b)
declare -A label=([floor]=floor [full]=Full [none]=None [before]=before)

# who_command WHO NODE: the command line of WHO on the node, in command.
who_command() {
  case $1 in
  floor) command=("$floor" "$2") ;;
  before) command=("$before" toss) ;;
  *) command=("$binary" toss) ;;
  esac
}

# copy_node WHO PROTO DIR: WHO's copy of the node (None's says Durability
# None), synced but for the inbound, which is copied after and left in the
# page cache as a mailer leaves what it received. Syncing the rest first
# keeps the copying out of the cost of the first sync of a toss.
copy_node() {
  local who=$1 proto=$2 dir=$3 entry
  rm -rf "$dir"
  mkdir "$dir"
  for entry in "$proto"/*; do
    [ "$entry" = "$proto/in" ] || cp -a "$entry" "$dir/"
  done
  [ "$who" != none ] || sed -i 's/^Durability Full$/Durability None/' "$dir/BRENMOOR.CTL"
  sync -f "$dir"
  cp -a "$proto/in" "$dir/in"
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
# total) and syncs (the calls of syncfs, fsync, fdatasync and sync), and
# leaves strace's table in NODE.calls.
toss_calls() {
  local who=$1 node=$2 command
  who_command "$who" "$node"
  (cd "$scratch" && BRENMOOR_DIR="$node" "$strace" -f -c -o "$node.calls" "${command[@]}" >/dev/null)
  calls=$(awk '$NF == "total" { print $4 }' "$node.calls")
  syncs=$(awk '$NF ~ /^(syncfs|fsync|fdatasync|sync)$/ { n += $4 } END { print n + 0 }' "$node.calls")
}

# toss_all PROTO COUNT PLACE WHO...: each WHO tosses its copy of the node
# in PLACE, one after the other, ROUNDS times (1), every second round in
# the reverse order; sets <letter>_seconds (of its fastest round) and _peak,
# and with CALLS=1 (and strace) _calls and _syncs from a further run of
# each. Every copy must be left as the first WHO's.
toss_all() {
  local proto=$1 count=$2 place=$3 who dir round fastest order
  shift 3
  for ((round = 1; round <= ${ROUNDS:-1}; round++)); do
    order=("$@")
    if ((round % 2 == 0)); then
      order=()
      for who; do order=("$who" "${order[@]}"); done
    fi
    for who in "${order[@]}"; do
      dir=$place/${letter[$who]}
      copy_node "$who" "$proto" "$dir"
      toss_run "$who" "$dir" "$count"
      fastest=${letter[$who]}_seconds
      if [ "$round" = 1 ] || awk -v a="$seconds" -v b="${!fastest}" 'BEGIN { exit !(a < b) }'; then
        printf -v "${letter[$who]}_seconds" %s "$seconds"
      fi
      printf -v "${letter[$who]}_peak" %s "$peak"
    done
    for who in "${@:2}"; do
      same_layout "$place" "$1" "$who"
    done
  done
  if [ "${CALLS:-0}" = 1 ] && [ -n "$strace" ]; then
    for who; do
      dir=$place/${letter[$who]}
      copy_node "$who" "$proto" "$dir"
      toss_calls "$who" "$dir"
      printf -v "${letter[$who]}_calls" %s "$calls"
      printf -v "${letter[$who]}_syncs" %s "$syncs"
    done
  fi
  for who; do
    rm -rf "${place:?}/${letter[$who]}"
  done
  tossed_in=$place
}

# same_layout PLACE FIRST WHO: ends the bench when WHO's copy of the node
# was left otherwise than FIRST's.
same_layout() {
  local place=$1 first=$2 who=$3
  if ! diff <(layout "$place/${letter[$first]}") <(layout "$place/${letter[$who]}") >"$scratch/layout.diff"; then
    echo "$first and $who left different files (< $first, > $who):" >&2
    head -20 "$scratch/layout.diff" >&2
    exit 1
  fi
}

rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.0f", n / t }'; }
ms_per() { awk -v t="$1" -v n="$2" 'BEGIN { print 1000 * t / n }'; }
seconds_of() { local name=${letter[$1]}_seconds; echo "${!name}"; }
# share WHO BASE: WHO's rate over BASE's, from the last toss_all.
share() { awk -v a="$(seconds_of "$1")" -v b="$(seconds_of "$2")" 'BEGIN { printf "%.3f", b / a }'; }
# goal WHAT VALUE LEAST: whether VALUE reaches LEAST.
goal() {
  awk -v what="$1" -v v="$2" -v least="$3" \
    'BEGIN { printf "goal: %s at least %s: %.3f, %s\n", what, least, v, (v >= least ? "met" : "MISSED") }'
}

# figures COUNT BASE WHO...: a line for each WHO of the last toss_all (in
# tossed_in): the TICs per second, the share of BASE's rate, the system
# calls and sync calls per TIC (with strace) and the peak memory; then each
# one's most frequent calls.
figures() {
  local count=$1 base=$2 who name
  shift 2
  printf '  %-7s %8s %9s' "" TIC/s "of ${label[$base]}"
  [ -z "$strace" ] || printf ' %10s %10s' calls/TIC syncs/TIC
  printf ' %9s\n' "peak MiB"
  for who; do
    printf '  %-7s %8s %9s' "${label[$who]}" "$(rate "$count" "$(seconds_of "$who")")" "$(share "$who" "$base")"
    if [ -n "$strace" ]; then
      name=${letter[$who]}_calls
      printf ' %10.1f' "$(awk -v c="${!name}" -v n="$count" 'BEGIN { print c / n }')"
      name=${letter[$who]}_syncs
      printf ' %10.3f' "$(awk -v c="${!name}" -v n="$count" 'BEGIN { print c / n }')"
    fi
    name=${letter[$who]}_peak
    printf ' %9.1f\n' "$(awk -v k="${!name}" 'BEGIN { print k / 1024 }')"
  done
  [ -n "$strace" ] || return 0
  for who; do
    printf '  %s, calls per TIC:' "${label[$who]}"
    awk -v n="$count" 'NR > 2 && $NF != "total" && $1 !~ /^-/ { printf "%s %.1f\n", $NF, $4 / n }' \
      "$tossed_in/${letter[$who]}.calls" | sort -k2,2 -rn | head -8 | awk '{ printf " %s %s", $1, $2 } END { print "" }'
  done
}

# The real file system: a directory in DISK_DIR when that is set, else ext4
# in a sparse loop file when losetup and mount work, else a directory in
# DISK_TMP. disk_place sets disk (the directory) and disk_kind (what it is);
# cleanup undoes it when the script ends, also on a failure or an interrupt.
disk='' disk_kind='' loop_image='' loop_dev='' loop_mount=''
disk_place() {
  [ -z "$disk" ] || return 0
  local tmp=${DISK_TMP:-/var/tmp}
  if [ -n "${DISK_DIR:-}" ]; then
    loop_mount=$(mktemp -d "$(bench_path "$DISK_DIR")/brenmoor-bench.XXXXXX")
    disk=$loop_mount
    disk_kind="$(fs_of "$disk") in a directory ($disk, as DISK_DIR says)"
    return 0
  fi
  loop_mount=$(mktemp -d "$tmp/brenmoor-bench.XXXXXX")
  loop_image=$loop_mount.img
  if truncate -s 4G "$loop_image" && mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$loop_image" \
    >/dev/null 2>&1 && loop_dev=$(losetup --find --show "$loop_image" 2>/dev/null) &&
    mount "$loop_dev" "$loop_mount" 2>/dev/null; then
    disk=$loop_mount
    disk_kind="ext4 in a loop file ($loop_dev: $loop_image, on $(fs_of "$tmp"))"
  else
    [ -z "$loop_dev" ] || losetup -d "$loop_dev" || true
    rm -f "$loop_image"
    loop_dev='' loop_image=''
    disk=$loop_mount
    disk_kind="$(fs_of "$tmp") in a directory ($disk: ext4 in a loop file could not be made)"
  fi
}

# fs_of DIR: the type and the device of DIR's file system.
fs_of() {
  local fs
  fs=$(findmnt -n -o FSTYPE,SOURCE --target "$1" 2>/dev/null) || fs=$(stat -f -c %T "$1")
  echo "$fs" | tr -s ' '
}

cleanup() {
  if [ -n "$loop_dev" ]; then
    umount "$loop_mount" 2>/dev/null || umount -l "$loop_mount" || true
    losetup -d "$loop_dev" 2>/dev/null || true
    rmdir "$loop_mount" 2>/dev/null || true
  elif [ -n "$loop_mount" ]; then
    rm -rf "$loop_mount"
  fi
  [ -z "$loop_image" ] || rm -f "$loop_image"
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# disk_run PROTO COUNT: the node tossed with Full, None (and before) on the
# real file system.
disk_run() {
  local proto=$1 count=$2 started=$SECONDS
  disk_place
  printf '%d TICs on %s:\n' "$count" "$disk_kind"
  CALLS=1 toss_all "$proto" "$count" "$disk" "${disk_whos[@]}"
  figures "$count" none "${disk_whos[@]}"
  goal "Full's share of None's rate" "$(share full none)" 0.5
  printf '  (%d s with the runs under strace)\n' $((SECONDS - started))
}

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
printf 'binary: %s\n' "$binary"
[ -z "$before" ] || printf 'before: %s\n' "$before"
[ -n "$strace" ] || echo "strace not usable: system calls not counted"
proto=$scratch/proto
extra=()
[ -z "$before" ] || extra=(before)
disk_whos=(full none "${extra[@]}")
case $mode in
counts)
  counts=("${args[@]}")
  [ ${#counts[@]} -gt 0 ] || counts=(2000)
  printf 'node: %d areas, %d links each\n' "$areas" "$links"
  for count in "${counts[@]}"; do
    make_node "$proto" "$count"
    CALLS=1 toss_all "$proto" "$count" "$scratch" floor full none "${extra[@]}"
    printf '%d TICs on tmpfs:\n' "$count"
    figures "$count" floor floor full none "${extra[@]}"
    goal "Full's share of the floor's rate" "$(share full floor)" 0.5
    # The real file system once: it is slower to set up and to run.
    if [ "$count" = "${counts[0]}" ] && [ "${DISK:-0}" = 1 ]; then
      disk_run "$proto" "$count"
    fi
    rm -rf "$proto"
  done
  ;;
disk)
  count=${args[0]:-2000}
  printf 'node: %d areas, %d links each\n' "$areas" "$links"
  make_node "$proto" "$count"
  disk_run "$proto" "$count"
  ;;
sync)
  disk_place
  printf 'on %s:\n' "$disk_kind"
  "$build/bench/sync_bench" "$disk" "${args[0]:-5}"
  ;;
areas)
  count=${args[0]:-2000}
  printf '%d TICs on tmpfs, %d links each, over:\n' "$count" "$links"
  printf '%7s  %12s %12s %10s' areas "floor TIC/s" "Full TIC/s" Full/floor
  [ -z "$before" ] || printf '  %12s' "before TIC/s"
  printf '\n'
  for areas in 1000 50000; do
    make_node "$proto" "$count"
    toss_all "$proto" "$count" "$scratch" floor full "${extra[@]}"
    for who in floor full "${extra[@]}"; do
      printf -v "${letter[$who]}_rate_$areas" %s "$(rate "$count" "$(seconds_of "$who")")"
    done
    printf '%7d  %12s %12s %10s' "$areas" "$(rate "$count" "$f_seconds")" "$(rate "$count" "$t_seconds")" \
      "$(share full floor)"
    [ -z "$before" ] || printf '  %12s' "$(rate "$count" "$b_seconds")"
    printf '\n'
    rm -rf "$proto"
  done
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
  printf '50,000 areas against 1,000: floor %s' "$(ratio "$f_rate_50000" "$f_rate_1000")"
  [ -z "$before" ] || printf ', before %s' "$(ratio "$b_rate_50000" "$b_rate_1000")"
  printf '\n'
  goal "Full's rate over 50,000 areas as a share of over 1,000" "$(ratio "$t_rate_50000" "$t_rate_1000")" 0.8
  ;;
dupes)
  count=${args[0]:-500}
  printf '%d TICs, %d areas, %d links each\n' "$count" "$areas" "$links"
  printf '%8s  %12s %9s  %12s %9s' records "floor TIC/s" ms/TIC "Full TIC/s" ms/TIC
  [ -z "$before" ] || printf '  %12s %9s' "before TIC/s" ms/TIC
  printf '\n'
  for records in 1000 65535; do
    make_node "$proto" "$count" "$records"
    toss_all "$proto" "$count" "$scratch" floor full "${extra[@]}"
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
  printf '64,535 more records: floor %+.3f ms per TIC, Full %+.3f ms per TIC' \
    "$(awk -v a="$f_ms_65535" -v b="$f_ms_1000" 'BEGIN { print a - b }')" \
    "$(awk -v a="$t_ms_65535" -v b="$t_ms_1000" 'BEGIN { print a - b }')"
  [ -z "$before" ] || printf ', before %+.3f ms per TIC' "$(awk -v a="$b_ms_65535" -v b="$b_ms_1000" 'BEGIN { print a - b }')"
  printf '\n'
  ;;
memory)
  count=${args[0]:-10000}
  areas=50000
  printf '%d TICs over %d areas, %d links each\n' "$count" "$areas" "$links"
  make_node "$proto" "$count"
  # Each result as it comes: the toss takes long.
  for who in floor full "${extra[@]}"; do
    copy_node "$who" "$proto" "$scratch/${letter[$who]}"
    toss_run "$who" "$scratch/${letter[$who]}" "$count"
    printf '%-7s %8.1f s  %6s TICs/s  peak memory %.1f MiB\n' "${label[$who]}:" "$seconds" "$(rate "$count" "$seconds")" \
      "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
    [ "$who" = floor ] || same_layout "$scratch" floor "$who"
  done
  ;;
large)
  gib=${args[0]:-4}
  areas=1
  bytes=$(awk -v g="$gib" 'BEGIN { printf "%.0f", g * 1073741824 }')
  large_node "$proto" "$bytes"
  printf 'one file of %s bytes (%s), CRC %s, in 1 area, %d links\n' "$size" \
    "$([ -n "${LARGE_FILE:-}" ] && echo "a copy of $LARGE_FILE" || echo sparse)" "$crc" "$links"
  # One copy at a time: a toss that copies the file holds it in memory on tmpfs.
  for who in full "${extra[@]}"; do
    copy_node "$who" "$proto" "$scratch/${letter[$who]}"
    toss_time "$who" "$scratch/${letter[$who]}"
    large_report "${label[$who]}" "$scratch/${letter[$who]}"
    rm -rf "${scratch:?}/${letter[$who]}"
  done
  ;;
esac
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
