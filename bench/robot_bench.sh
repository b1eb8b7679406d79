#!/usr/bin/env bash
# Robot speed on large area lists: for each area count given (default 5000
# and 50000) one request each of %LIST, %QUERY and +* is carried out by
# `brenmoor scan`, every one on a fresh copy of the node. Prints the wall
# time and peak memory of each run, the answers written and, for +*, how
# often areas.ctl was rewritten (one request should rewrite it once). Goals:
# %LIST over 5,000 areas in 0.2 s, +* over 5,000 in 2 s, and each of %LIST,
# %QUERY and +* over 50,000 in 1 s.
#
#   bench/robot_bench.sh [COUNT ...]
#
# BEFORE=path names an earlier brenmoor binary: each request is then also
# carried out by it on a fresh identical copy of the node, its answers
# checked alike, and its time and peak memory printed on a line "before"
# under the current result.
# Every area has LINKS links (default 4) besides the requesting link
# 2:9999/20, which is on every SUBSCRIBED-th area (default 10) and may use
# +*. MSGMAXLINES (default 400) is the lines per part of a list reply. Each
# run's answers are checked: every area the link may see is listed, areas.old
# is the list as it was before the request. The rewrites are counted in a
# second run under strace (skipped without strace), as strace slows the run.
# The nodes are made in BENCH_TMP (default /dev/shm when writable, else
# TMPDIR or /tmp). The program is built in Release with the "bench" preset,
# or in BUILD_DIR when that is set. Needs python3.
set -euo pipefail
cd "$(dirname "$0")/.."
links=${LINKS:-4}
subscribed=${SUBSCRIBED:-10}
maxlines=${MSGMAXLINES:-400}
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(5000 50000)

. bench/lib.sh
bench_build brenmoor
bench_scratch brenmoor-robot

strace=
if command -v strace >/dev/null && strace -f -qq -o /dev/null true 2>/dev/null; then
  strace=$(command -v strace)
fi

printf 'node: %d links per area, 2:9999/20 on every %dth, MsgMaxLines %d, in %s; binary: %s\n' \
  "$links" "$subscribed" "$maxlines" "$base" "$binary"
[ -n "$strace" ] || echo "strace not usable: areas.ctl rewrites not counted"

[ -z "$before" ] || printf 'before: %s\n' "$before"

python3 - "$scratch" "$binary" "$lang" "$links" "$subscribed" "$maxlines" "$strace" "$before" "${counts[@]}" <<'EOF'
import math, os, re, shutil, struct, subprocess, sys, time

scratch, binary, lang = sys.argv[1], sys.argv[2], sys.argv[3]
links, every, maxlines = int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
strace, before = sys.argv[7], sys.argv[8]
counts = [int(c) for c in sys.argv[9:]]
# (count, request) -> seconds the run may take
targets = {(5000, "%LIST"): 0.2, (5000, "+*"): 2.0,
           (50000, "%LIST"): 1.0, (50000, "%QUERY"): 1.0, (50000, "+*"): 1.0}
REQUESTER = 20
PASSWORD = "BENCHPW"

def write(node, name, text):
    path = os.path.join(node, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="") as f:
        f.write(text)

def tag(a):
    return "BENCH.AREA%05d" % a

def has_requester(a):
    return a % every == 0

def make_node(node, areas):
    os.makedirs(node)
    shutil.copy(lang, node + "/brenmoor.lng")
    write(node, "BRENMOOR.CTL", "\n".join([
        "Address 2:9999/1", "Alias FileFix", "RemoteProgram Brenmoor", "Origin Brenmoor robot bench",
        "Inbound in/", "Outbound out/tic/", "PassTrough pass/", "BadTicDir bad/", "TempDir tmp/",
        "Semaphores flags/", "NetmailIn netmail/in/", "NetmailOut netmail/out/", "Mode BINK",
        "BinkStyleOutbound out/outbound/", "Interface Plain", "DupeFile data/brenmoor.dup",
        "LogName log/brenmoor.log", "AutoAddingPlus Yes", "MsgMaxLines %d" % maxlines,
        "HelpFile tpl/help.txt", "BadPwd tpl/badpwd.txt", "Unknown tpl/unknown.txt",
        "CantPlusAll tpl/cantplusall.txt", "Pause tpl/pause.txt", "Resume tpl/resume.txt",
        "List tpl/list.tpl", "QueryTpl tpl/query.tpl", "ForwardTpl tpl/avail.tpl", "Answer tpl/answer.tpl",
        ""]))
    link_lines = ["Link 2:9999/10", "AKA 2:9999/1", "Password UPLINK", "Security 100", "Group A",
                  "FilesSend HOLD", "",
                  "Link 2:9999/%d" % REQUESTER, "AKA 2:9999/1", "Password " + PASSWORD, "PlusAll Yes",
                  "Security 10", "Group A", "FilesSend DIRECT", ""]
    for n in range(links - 1):
        link_lines += ["Link 2:9999/%d" % (101 + n), "AKA 2:9999/1", "Password PW%d" % n, "Security 10",
                       "Group A", "FilesSend DIRECT", ""]
    write(node, "Links.ctl", "\n".join(link_lines))
    write(node, "Groups.ctl", "Group A\nPath files/bench/\nAKA 2:9999/1\n")
    write(node, "arc.ctl", "Archiver ZIP\nSignature 0,504B0304\nExtractFile unzip -o -qq -j -C %A %F -d %T\n")
    write(node, "bbssoft.ctl", "")
    write(node, "colors.ctl", "")
    write(node, "FORWARD.CTL", "; no uplinks: unknown tags are not found\n")
    write(node, "NOTALLOW.CTL", "BENCH.SECRET\n")
    report = "@F******************** @G @D***************************************\n"
    write(node, "tpl/list.tpl", "Echoes you may use\n\n" + report + "\nSend +ECHO to subscribe.\n")
    write(node, "tpl/query.tpl", "Echoes you are subscribed to\n\n" + report + "\nSend -ECHO to unsubscribe.\n")
    write(node, "tpl/avail.tpl", "Echoes of our uplinks\n\n" + report)
    write(node, "tpl/answer.tpl", "Your request was handled as follows:\n\n@STATECHOLIST\n")
    for name in ("help.txt", "badpwd.txt", "unknown.txt", "cantplusall.txt", "pause.txt", "resume.txt"):
        write(node, "tpl/" + name, "Bench answer %s\n" % name)
    others = " ".join(["10"] + [str(101 + n) for n in range(links - 1)])
    blocks = ["; areas.ctl of the robot bench\r\n"]
    for a in range(areas):
        blocks.append("Area %s\r\nPath files/bench/area%05d/\r\nDesc Bench area %d\r\nGroup A\r\n"
                      "AKA 2:9999/1\r\nLinks %s%s\r\n" % (tag(a), a, a, others,
                                                        " %d" % REQUESTER if has_requester(a) else ""))
    write(node, "areas.ctl", "\r\n".join(blocks))

def request_msg(line):
    def field(text, size):
        return text.encode("cp866")[:size].ljust(size, b"\0")
    header = field("Bench Link", 36) + field("FileFix", 36) + field(PASSWORD, 72) + field("07 Dec 26  10:00:00", 20)
    # times-read, dest-node, orig-node, cost, orig-net, dest-net, dest-zone,
    # orig-zone, dest-point, orig-point, reply-to, attribute (PVT LOC), next-reply
    header += struct.pack("<13H", 0, 1, REQUESTER, 0, 9999, 9999, 2, 2, 0, 0, 0, 257, 0)
    text = "\x01INTL 2:9999/1 2:9999/%d\r\x01MSGID: 2:9999/%d 12345678\r%s\r" % (REQUESTER, REQUESTER, line)
    return header + text.encode("cp866") + b"\0"

def fail(node, text):
    """Stops the bench with the run's console output (the node goes with the scratch)."""
    if os.path.exists(node + ".out"):
        with open(node + ".out", errors="replace") as f:
            text += "\n--- output of the scan:\n" + "".join(f.readlines()[-20:])
    sys.exit(text)

def run(proto, node, line, trace=None, program=binary):
    """A fresh copy of the node carries out the request; seconds, peak KiB."""
    shutil.copytree(proto, node)
    os.makedirs(node + "/netmail/in", exist_ok=True)
    with open(node + "/netmail/in/1.msg", "wb") as f:
        f.write(request_msg(line))
    command = [program, "scan"]
    if trace:
        command = [strace, "-f", "-qq", "-e", "trace=rename,renameat,renameat2", "-o", trace] + command
    env = dict(os.environ, BRENMOOR_DIR=node)
    with open(node + ".out", "w") as out:
        start = time.perf_counter()
        child = subprocess.Popen(command, cwd=scratch, env=env, stdout=out, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        fail(node, "%s: %s scan of %r ended with %d" % (node, program, line, child.returncode))
    if os.path.exists(node + "/netmail/in/1.msg"):
        fail(node, "%s: %s left the request %r" % (node, program, line))
    return seconds, usage.ru_maxrss

def answers(node):
    """The bodies of the answers, in the order they were written."""
    out = node + "/netmail/out"
    names = sorted((n for n in os.listdir(out) if n.lower().endswith(".msg")), key=lambda n: int(n[:-4]))
    bodies = []
    for name in names:
        with open(os.path.join(out, name), "rb") as f:
            bodies.append(f.read()[190:].rstrip(b"\0").decode("cp866").split("\r"))
    return bodies

def rewrites(trace):
    count = 0
    with open(trace) as f:
        for call in f:
            names = re.findall(r'"((?:[^"\\]|\\.)*)"', call)
            if re.search(r"\brename", call) and names and names[-1].endswith("/areas.ctl") and "= 0" in call:
                count += 1
    return count

def check(node, proto, request, bodies, areas, program=binary):
    listed = [l for body in bodies for l in body if re.match(r"^[ +&*-]?BENCH\.AREA\d+ ", l)]
    results = [l for body in bodies for l in body if re.match(r"^BENCH\.AREA\d+\.+  ", l)]
    mine = sum(1 for a in range(areas) if has_requester(a))
    with open(proto + "/areas.ctl", "rb") as f:
        before = f.read()
    with open(node + "/areas.ctl", "rb") as f:
        after = f.read()
    problems = []
    if request == "%LIST":
        if len(listed) != areas:
            problems.append("%d of %d areas listed" % (len(listed), areas))
        if len(bodies) != math.ceil(areas / maxlines):
            problems.append("%d parts for %d areas" % (len(bodies), areas))
    elif request == "%QUERY":
        if len(listed) != mine:
            problems.append("%d of %d subscribed areas listed" % (len(listed), mine))
        if len(bodies) != math.ceil(mine / maxlines):
            problems.append("%d parts for %d areas" % (len(bodies), mine))
    else:
        if len(results) != areas - mine:
            problems.append("%d areas answered as added, %d expected" % (len(results), areas - mine))
        try:
            with open(node + "/areas.old", "rb") as f:
                if f.read() != before:
                    problems.append("areas.old is not the list before the request")
        except FileNotFoundError:
            problems.append("no areas.old")
        entries = {str(REQUESTER), "2:9999/%d" % REQUESTER}
        linked = sum(1 for l in after.decode("cp866").splitlines()
                     if l.lower().startswith("links") and entries & set(l.split()[1:]))
        if linked != areas:
            problems.append("%d of %d areas carry 2:9999/%d after +*" % (linked, areas, REQUESTER))
    if request != "+*" and (after != before or os.path.exists(node + "/areas.old")):
        problems.append("areas.ctl was rewritten by a report")
    if problems:
        fail(node, "%s: %s: %r over %d areas went wrong: %s" % (node, program, request, areas, "; ".join(problems)))

print("%7s  %-7s %9s %9s %8s %9s   %s" % ("areas", "request", "wall", "peak", "answers", "rewrites", "goal"),
      flush=True)
missed = 0
for areas in counts:
    proto = "%s/node-%d" % (scratch, areas)
    make_node(proto, areas)
    for request in ("%LIST", "%QUERY", "+*"):
        node = "%s/run-%d-%s" % (scratch, areas, request.strip("%+*").lower() or "plusall")
        seconds, peak = run(proto, node, request)
        bodies = answers(node)
        check(node, proto, request, bodies, areas)
        shutil.rmtree(node)
        renamed = "-"
        if request == "+*" and strace:
            run(proto, node, request, trace=node + ".strace")
            renamed = str(rewrites(node + ".strace"))
            shutil.rmtree(node)
        goal = ""
        if (areas, request) in targets:
            limit = targets[(areas, request)]
            met = seconds < limit
            missed += not met
            goal = "< %g s  %s" % (limit, "met" if met else "MISSED")
        print("%7d  %-7s %7.3f s %5.1f MiB %8d %9s   %s" % (areas, request, seconds, peak / 1024, len(bodies),
                                                       renamed, goal), flush=True)
        if before:
            # On the path of the current run's copy, so that nothing but the program differs.
            seconds, peak = run(proto, node, request, program=before)
            bodies = answers(node)
            check(node, proto, request, bodies, areas, program=before)
            shutil.rmtree(node)
            print("%7s  %-7s %7.3f s %5.1f MiB %8d" % ("", "before", seconds, peak / 1024, len(bodies)), flush=True)
    shutil.rmtree(proto)
if missed:
    print("%d goal(s) missed" % missed)
EOF
