#!/usr/bin/env bash
# Announcement speed: "ann:all" over record files of COUNT records each run
# (default 100000 and 1000000), spread over 30 days and 1,000 file echoes,
# a few of them tossed twice. Every echo directory holds five of its files
# with a description list; the other records name files that were moved
# away since. Prints the time, the files announced and the peak memory;
# the time should grow with the count, not with its square. Goal: 1,000,000
# records in 10 s.
#
# Then the same for long description lists: 1,000,000 records over 40
# echoes whose lists hold 25,000 entries each (and 1,000 of other files,
# some with long names in quotes), every record naming an entry of its
# echo's list. Goal: 15 s and a peak memory under 512 MiB. LISTS changes
# the entries per list (0 leaves this case out).
#
#   bench/ann_bench.sh [COUNT ...]
#
# BEFORE=path names an earlier brenmoor binary: it then also announces a
# fresh identical copy of each node, and its time and peak memory are
# printed on a line "before" under the current result.
# AREAS changes the number of echoes. The nodes are made in BENCH_TMP
# (default /dev/shm when writable, else TMPDIR or /tmp). The program is
# built in Release with the "bench" preset, or in BUILD_DIR when that is
# set. Needs python3 (to write the records) and /usr/bin/time (Debian
# "time") for peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
areas=${AREAS:-1000}
list_entries=${LISTS:-25000}
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100000 1000000)

. bench/lib.sh
bench_build brenmoor
template=$(realpath examples/node/tpl/announce.tpl)
bench_scratch brenmoor-bench

# make_node DIR COUNT AREAS ENTRIES: the control files, AREAS echo
# directories and COUNT announcement records in 30 daily record files. With
# ENTRIES 0 each echo directory holds five of its files and their list;
# otherwise its list holds ENTRIES entries, of which the records name one
# after the other, and the files are not there.
make_node() {
  python3 - "$1" "$2" "$3" "$4" "$lang" "$template" <<'PYEOF'
import os, shutil, struct, sys
node, count, areas, entries = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
lang, template = sys.argv[5], sys.argv[6]
os.makedirs(node + "/announce")
os.makedirs(node + "/tpl")
def write(name, text):
    with open(os.path.join(node, name), "w", newline="") as f:
        f.write(text)
shutil.copy(lang, node + "/brenmoor.lng")
shutil.copy(template, node + "/tpl/announce.tpl")
write("BRENMOOR.CTL", "\n".join([
    "Address 2:9999/1", "Inbound in/", "Outbound out/tic/", "TempDir tmp/", "Semaphores flags/",
    "NetmailIn netmail/in/", "NetmailOut netmail/out/", "Interface Plain", "DescFile files.bbs", "DescPos 19",
    "LongDescChars '                 |'", "LogName log/brenmoor.log", "AnnounceDir announce/",
    "AnnounceTpl tpl/announce.tpl", "AnnounceFile out/newfiles.txt", "Separator ','", ""]))
write("Links.ctl", "Link 2:9999/100\nAKA 2:9999/1\nPassword UPLINK\n")
write("Groups.ctl", "Group A\nPath files/\nAKA 2:9999/1\n")
write("arc.ctl", "Archiver ZIP\nSignature 0,504B0304\nExtractFile unzip -o -qq -j -C %A %F -d %T\n")
write("bbssoft.ctl", "")
write("colors.ctl", "")
def field(text, size):
    return text.encode("cp866")[:size].ljust(size, b" ")
def address(net, node_):
    return struct.pack("<4H", 2, net, node_, 0)
per_area = entries or max(1, count // areas)
for a in range(areas):
    directory = "%s/files/area%04d/" % (node, a)
    os.makedirs(directory)
    lines = []
    for f in range(entries or 5):
        name = "F%07d.ZIP" % (a * per_area + f)
        if not entries:
            with open(directory + name, "wb") as out:
                out.write(b"x" * (1000 + 37 * f))
        lines.append("%-17s Bench file %d of area %d\r\n                 |second line\r\n" % (name, f, a))
        if entries and f % 50 == 0:  # names of other files, never announced
            lines.append('"Bench notes %d of area %d.txt" Notes\r\nBenchArchive%07d.tar.gz Archive\r\n' % (f, a, f))
    with open(directory + "files.bbs", "w", newline="") as out:
        out.write("".join(lines))
days = [open("%s/announce/%02d-11-26.ann" % (node, d + 1), "wb") for d in range(30)]
for i in range(count):
    a = i % areas
    record = (field("BENCH.AREA%04d" % a, 25) + field("Bench area %d" % a, 70) +
              field("F%07d.ZIP" % (a * per_area + (i // areas) % (entries or count)), 12) +
              field("%s/files/area%04d/" % (node, a), 250) + b"A" + address(9999, 100) + address(9999, 100))
    days[i % 30].write(record)
    if i % 100 == 0:  # tossed again on another day
        days[(i + 7) % 30].write(record)
for day in days:
    day.close()
PYEOF
}

# count -> seconds ann:all may take; "lists" is the case of long lists
declare -A goals=([1000000]=10 [lists]=15)
# peak memory (MiB) the case of long lists may take
lists_memory=512

# announce PROGRAM NODE COUNT: ann:all of the node; sets seconds and peak
# (KiB). Ends the bench when not every record was announced.
announce() {
  local program=$1 node=$2 count=$3 start end announced
  start=$(date +%s.%N)
  (cd "$scratch" && BRENMOOR_DIR="$node" /usr/bin/time -v -o "$node.time" "$program" ann:all >"$node.out")
  end=$(date +%s.%N)
  announced=$(sed -n 's/^ Files: \([0-9]*\),.*/\1/p' "$node/out/newfiles.txt")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$node.time")
  if [ "$announced" != "$count" ]; then
    echo "$program: ann:all over $count records announced ${announced:-nothing}" >&2
    exit 1
  fi
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')
}

printf 'node: %d areas in %s; binary: %s\n' "$areas" "$base" "$binary"
[ -z "$before" ] || printf 'before: %s\n' "$before"
missed=0
cases=()
for count in "${counts[@]}"; do cases+=("$count $areas 0 $count"); done
[ "$list_entries" = 0 ] || cases+=("1000000 40 $list_entries lists")
for case in "${cases[@]}"; do
  read -r count case_areas entries key <<<"$case"
  node=$scratch/node-$key
  make_node "$node" "$count" "$case_areas" "$entries"
  # The records name the node's path: the copy for before goes back there.
  [ -z "$before" ] || cp -a "$node" "$node.proto"
  announce "$binary" "$node" "$count"
  goal=
  if [ -n "${goals[$key]:-}" ]; then
    if awk -v t="$seconds" -v l="${goals[$key]}" 'BEGIN { exit !(t < l) }'; then
      goal="   < ${goals[$key]} s  met"
    else
      goal="   < ${goals[$key]} s  MISSED"
      missed=$((missed + 1))
    fi
  fi
  if [ "$key" = lists ]; then
    if [ "$peak" -lt $((lists_memory * 1024)) ]; then
      goal="$goal, < $lists_memory MiB  met"
    else
      goal="$goal, < $lists_memory MiB  MISSED"
      missed=$((missed + 1))
    fi
    printf 'lists: %d echoes, %d entries in each list\n' "$case_areas" "$entries"
  fi
  awk -v n="$count" -v t="$seconds" -v kb="$peak" -v goal="$goal" 'BEGIN {
    printf "%8d records: %7.2f s  %9.0f records/s  peak memory %.1f MiB%s\n", n, t, n / t, kb / 1024, goal
  }'
  rm -rf "$node"
  if [ -n "$before" ]; then
    mv "$node.proto" "$node"
    announce "$before" "$node" "$count"
    awk -v t="$seconds" -v n="$count" -v kb="$peak" 'BEGIN {
      printf "  before: %7.2f s  %9.0f records/s  peak memory %.1f MiB\n", t, n / t, kb / 1024
    }'
    rm -rf "$node"
  fi
done
[ "$missed" = 0 ] || echo "$missed goal(s) missed"
