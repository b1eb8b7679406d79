#!/usr/bin/env python3
"""Kills brenmoor with real SIGKILLs at random moments and checks what the
node holds after one more run: every file stored once and whole, every link
given each file and one TIC naming it, nothing left in the inbound, no lock,
busy flag, journal or temporary file left behind.

    killtest.py --binary BRENMOOR [--seed N] [--keep] [--only toss,scan,...]

For each command a node is built from the base node of the scenarios and
generated content. The command runs once uninterrupted on a copy of it
(what it leaves is checked as well), then on another copy it is killed
again and again, each run going on where the one before was killed, and run
once more to the end. Commands that carry on where a run stopped (toss,
scan, AutoHatch, purge) are killed at shares of the log one uninterrupted
run wrote, so that a loaded machine kills at the same places of the work; a
hatch starts over each time and is killed at a moment within the
uninterrupted one. The seed is printed and replays the same nodes and kill
points (the program's own pace still varies a little).
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib
from collections import Counter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dump  # noqa: E402
from first_words import first_word  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BASE = os.path.join(SOURCE, 'tests', 'scenarios', 'base')

AKA = '2:9999/1'
# Address, password, flavour, the entry in areas.ctl, the flow file.
LINKS = [
    ('2:9999/101', 'PW101', 'DIRECT', '101', 'out/outbound/270f0065.dlo'),
    ('2:9999/102', 'PW102', 'HOLD', '2:9999/102', 'out/outbound/270f0066.hlo'),
    ('2:9999/1.5', 'PW105', 'DIRECT', '.5', 'out/outbound/270f0001.pnt/00000005.dlo'),
    ('1:23/4', 'PW234', 'HOLD', '1:23/4', 'out/outbound.001/00170004.hlo'),
]
AREAS = ['KILLTEST.Area.%02d' % i for i in range(50)]
SETTINGS = 'BsyWait 1\r\nMaxDupeRec 100000\r\nInterface PLAIN\r\n'
WORDS = ['Release', 'Notes', 'Final', 'nodelist', 'Weekly', 'Diff', 'Tools', 'Patch', 'README', 'Image']


def crc(data):
    return zlib.crc32(data) & 0xFFFFFFFF


def area_dir(tag):
    return 'files/Kill Test/%s/' % tag.replace('KILLTEST.', 'Echo ')


def payload_name(rng, n):
    words = rng.sample(WORDS, 2)
    return '%s %s No %04d of %s.%s' % (words[0], words[1].lower(), n, rng.choice(['Today', 'MONDAY']),
                                       rng.choice(['Dat', 'bin', 'TXT']))


def payload(rng, size):
    # "KT" first: no archiver signature, so nothing is extracted.
    return b'KT' + rng.randbytes(max(0, size - 2))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode('cp866'))


def expand(entry):
    """A link entry of areas.ctl as a full address, points always given."""
    zone, rest = AKA.split(':')
    net, node = rest.split('/')
    if ':' in entry:
        full = entry
    elif entry.startswith('.'):
        full = '%s:%s/%s%s' % (zone, net, node, entry)
    elif '/' in entry:
        full = '%s:%s' % (zone, entry)
    else:
        full = '%s:%s/%s' % (zone, net, entry)
    return full if '.' in full else full + '.0'


class Node:
    """One node in a scratch directory and the runs made on it."""

    def __init__(self, path, binary):
        self.path, self.binary = path, binary
        self.runs = []  # (moment or None, exit code or 'killed')
        self.seconds = 0.0  # spent in the program's runs

    def file(self, rel):
        return os.path.join(self.path, rel)

    def log_size(self):
        try:
            return os.path.getsize(self.file('log/brenmoor.log'))
        except OSError:
            return 0

    def run(self, args, after=None, log_size=None, jitter=0.0, timeout=300):
        """Runs the program; killed with SIGKILL after that many seconds, or
        once its log has grown to log_size bytes and jitter seconds more."""
        env = {k: v for k, v in os.environ.items() if not k.startswith(('LC_', 'BRENMOOR'))}
        env.update(LANG='C.UTF-8', LC_ALL='C.UTF-8', TZ='UTC', BRENMOOR_DIR=self.path)
        moment = '%.4f s' % after if after is not None else ('log %d + %.4f s' % (log_size, jitter)
                                                             if log_size is not None else None)
        with open(os.path.join(os.path.dirname(self.path), 'output'), 'ab') as out:
            out.write(('$ brenmoor %s (kill at %s)\n' % (' '.join(args), moment)).encode())
            out.flush()
            start = time.monotonic()
            proc = subprocess.Popen([self.binary] + args, cwd=os.path.dirname(self.path), env=env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            deadline = start + (after if after is not None else timeout)
            while proc.poll() is None:
                now = time.monotonic()
                if log_size is not None and self.log_size() >= log_size:
                    deadline, log_size = now + jitter, None
                if now >= deadline:
                    os.kill(proc.pid, signal.SIGKILL)
                    proc.wait()
                    break
                time.sleep(0.0005)
            code = proc.returncode
            if code == -signal.SIGKILL:
                code = 'killed' if moment else 'hung, killed after %d s' % timeout
            elapsed = time.monotonic() - start
            self.seconds += elapsed
            out.write(('\nexit %s\n' % code).encode())
        self.runs.append((moment, code))
        return code, elapsed


def make_node(path):
    shutil.copytree(BASE, path)
    with open(os.path.join(path, 'BRENMOOR.CTL'), 'ab') as f:
        f.write(SETTINGS.encode())
    links = ''.join('Link %s\r\nAKA %s\r\nPassword %s\r\nGroup A\r\nSecurity 100\r\nFilesSend %s\r\n\r\n'
                    % (address, AKA, password, flavour) for address, password, flavour, _, _ in LINKS)
    write(os.path.join(path, 'Links.ctl'), links)


def areas_text(subscribed):
    """areas.ctl with each area's links, as entries."""
    blocks = []
    for tag in AREAS:
        blocks.append('Area %s\r\nPath %s\r\nDesc Kill test echo %s\r\nGroup A\r\nAKA %s\r\nLinks %s\r\n'
                      % (tag, area_dir(tag), tag[-2:], AKA, ' '.join(subscribed[tag])))
    return '; areas of the kill test\r\n\r\n' + '\r\n'.join(blocks)


def all_links():
    return {tag: [link[3] for link in LINKS] for tag in AREAS}


# ---- Reading what the node holds, as other programs do ----------------------------

def read_tic(path):
    fields = {}
    with open(path, 'rb') as f:
        for line in f.read().decode('cp866').splitlines():
            key, _, value = line.strip().partition(' ')
            fields.setdefault(key.upper(), value.strip())
    return fields


def flow_lines(node):
    """Each link's flow-file lines: (data paths, TIC paths); flow files no link has."""
    wanted = {link[4]: expand(link[0]) for link in LINKS}
    lines, strangers = {expand(link[0]): ([], []) for link in LINKS}, []
    out = node.file('out')
    for dirpath, _, names in os.walk(out):
        for name in names:
            rel = os.path.relpath(os.path.join(dirpath, name), node.path)
            if not re.search(r'\.[a-z]lo$', name, re.I):
                continue
            if rel not in wanted:
                strangers.append(rel)
                continue
            data, tics = lines[wanted[rel]]
            for line in open(os.path.join(dirpath, name), 'rb').read().decode('cp866').splitlines():
                (tics if line.startswith('^') else data).append(line.lstrip('^'))
    return lines, strangers


def description_names(listing):
    if not os.path.exists(listing):
        return []
    lines = open(listing, 'rb').read().replace(b'\r\n', b'\n').split(b'\n')
    return [first_word(line.decode('cp866')) for line in lines if line.strip() and not line.startswith(b' ')]


def read_from(path, offset):
    try:
        with open(path, 'rb') as f:
            f.seek(offset)
            return f.read()
    except OSError:
        return b''


def file_crc(path):
    with open(path, 'rb') as f:
        return crc(f.read())


class Report:
    def __init__(self):
        self.broken = {}

    def add(self, invariant, detail):
        self.broken.setdefault(invariant, []).append(detail)

    def lines(self):
        out = []
        for invariant, details in self.broken.items():
            out.append('  %s: %d times' % (invariant, len(details)))
            out += ['    ' + d for d in details[:5]]
            if len(details) > 5:
                out.append('    ...')
        return out


def check_leftovers(node, report, base_files):
    """Locks, busy flags, journals, retry lists and dot-names that a run left."""
    for dirpath, _, names in os.walk(node.path):
        for name in names:
            rel = os.path.relpath(os.path.join(dirpath, name), node.path)
            if rel in base_files:
                continue
            low = name.lower()
            if low == 'brenmoor.bsy':
                report.add('busy flag left', rel)
            elif low.endswith(('.bsy', '.csy')):
                report.add('.bsy left', '%s (%d bytes)' % (rel, os.path.getsize(os.path.join(dirpath, name))))
            elif name.startswith('.') or low.endswith(('.part', '.stale')):
                report.add('temporary file left', rel)
            elif rel.startswith('tmp/journal/'):
                report.add('journal left', rel)
            elif rel.startswith('tmp/'):
                report.add('work file left in TEMPDIR', rel)
            elif low == 'flowretry.lst':
                report.add('flow lines left waiting', '%s: %d lines' % (rel, len(open(os.path.join(dirpath, name),
                                                                                      'rb').read().splitlines())))
    for aside in ('bad', 'dupes'):
        if os.path.isdir(node.file(aside)):
            for name in os.listdir(node.file(aside)):
                report.add('file moved aside', '%s/%s' % (aside, name))


def check_dupes(node, report):
    path = node.file('data/brenmoor.dup')
    if not os.path.exists(path):
        return
    records = Counter()
    for line in dump.dump('brenmoor.dup', open(path, 'rb').read()).splitlines():
        match = re.match(r'\d+: (.*) \| (.*) \| crc (\w+) size (-?\d+)', line)
        if match:
            records[match.groups()] += 1
    for record, count in records.items():
        if count > 1:
            report.add('dupe record written twice', '%s (%d times)' % (' | '.join(record), count))


def check_stored(node, report, files):
    """files: {(area, name): (crc, size)}. Each area directory holds these
    files whole and each has one entry in its description list."""
    by_area = {}
    for (tag, name), value in files.items():
        by_area.setdefault(tag, {})[name] = value
    for tag, wanted in by_area.items():
        directory = node.file(area_dir(tag))
        present = set(os.listdir(directory)) if os.path.isdir(directory) else set()
        for name, (want_crc, want_size) in wanted.items():
            path = os.path.join(directory, name)
            if name not in present:
                report.add('file not stored', '%s%s' % (area_dir(tag), name))
            elif os.path.getsize(path) != want_size or file_crc(path) != want_crc:
                report.add('stored file damaged', '%s%s: %d bytes, want %d' % (area_dir(tag), name,
                                                                            os.path.getsize(path), want_size))
        for name in present - set(wanted) - {'files.bbs'}:
            if not name.startswith('.'):  # dot-names: reported as temporary files
                report.add('unexpected file in an echo', area_dir(tag) + name)
        entries = Counter(description_names(os.path.join(directory, 'files.bbs')))
        for name in wanted:
            if entries[name] != 1:
                report.add('description entries not one', '%s%s: %d entries' % (area_dir(tag), name, entries[name]))
        for name in set(entries) - set(wanted):
            report.add('description of a file not there', '%s%s' % (area_dir(tag), name))


def retry_lines(node):
    """The flow lines the retry list keeps for a later run: link -> paths."""
    waiting = {}
    flows = {os.path.realpath(node.file(link[4])): expand(link[0]) for link in LINKS}
    path = node.file('FLOWRETRY.LST')
    if os.path.exists(path):
        for entry in open(path, 'rb').read().decode('cp866').splitlines():
            flow, _, line = entry.partition('\t')
            waiting.setdefault(flows.get(os.path.realpath(flow), flow), set()).add(line.lstrip('^'))
    return waiting


def check_sent(node, report, sent):
    """sent: link -> {(AREA, name): (path relative to the node, crc, size)}.
    Each link's flow file lists each of its files once and one TIC naming
    it with the file's Crc and Size, and nothing else."""
    lines, strangers = flow_lines(node)
    waiting = retry_lines(node)
    for rel in strangers:
        report.add('flow file of no link', rel)
    listed_tics = set()
    for address, (data, tics) in lines.items():
        wanted = sent.get(address, {})
        data_count, tic_count = Counter(data), Counter()
        for tic_path in tics:
            listed_tics.add(os.path.realpath(tic_path))
            if not os.path.exists(tic_path):
                report.add('flow file names a missing TIC', '%s: %s' % (address, tic_path))
                continue
            tic = read_tic(tic_path)
            key = (tic.get('AREA', '').upper(), tic.get('FILE', ''))
            tic_count[key] += 1
            if key in wanted and (tic.get('CRC', '').upper() != '%08X' % wanted[key][1]
                                  or tic.get('SIZE') != str(wanted[key][2])):
                report.add('TIC with a wrong CRC or size', '%s: %s Crc %s Size %s' % (
                    address, key[1], tic.get('CRC'), tic.get('SIZE')))
        for key, (rel, _, _) in wanted.items():
            path = node.file(rel)
            if data_count[path] == 0 and path in waiting.get(address, ()):
                report.add('file kept in the retry list, not in the flow file', '%s: %s' % (address, rel))
                continue
            if data_count[path] != 1:
                report.add('file listed for a link not once', '%s: %s listed %d times' % (address, rel,
                                                                                      data_count[path]))
            if tic_count[key] != 1:
                report.add('TICs naming a file not one', '%s: %s in %s: %d TICs' % (address, key[1], key[0],
                                                                                  tic_count[key]))
        for path in set(data_count) - {node.file(rel) for rel, _, _ in wanted.values()}:
            report.add('file listed for a link that should not get it', '%s: %s' % (address, path))
    queued = {os.path.realpath(p) for paths in waiting.values() for p in paths}
    outbound = node.file('out/tic')
    if os.path.isdir(outbound):
        for name in os.listdir(outbound):
            path = os.path.realpath(os.path.join(outbound, name))
            if name.lower().endswith('.tic') and path not in listed_tics and path not in queued:
                report.add('TIC in the outbound no flow file names', 'out/tic/' + name)


def check_whole(node, report, files=None, when='', known=None):
    """What others may read at any moment is whole: each TIC a flow file
    lists, each stored file under its final name, each netmail written.
    known: files found whole before, by path, size and time; not read again."""
    known = {} if known is None else known

    def whole(path, test):
        try:
            st = os.stat(path)
        except OSError:
            return True
        key = (st.st_size, st.st_mtime_ns, st.st_ino)
        if known.get(path) == key:
            return True
        if test(path, st.st_size):
            known[path] = key
            return True
        return False

    lines, _ = flow_lines(node)
    for address, (_, tics) in lines.items():
        for tic_path in tics:
            if not whole(tic_path, lambda p, _: {'AREA', 'FILE', 'CRC', 'SIZE'} <= set(read_tic(p))):
                report.add('listed TIC cut', '%s%s: %s' % (when, address, tic_path))
    for (tag, name), (want_crc, want_size) in (files or {}).items():
        path = node.file(area_dir(tag) + name)
        if not whole(path, lambda p, size: size == want_size and file_crc(p) == want_crc):
            report.add('file cut under its final name', '%s%s%s: %d bytes of %d' % (
                when, area_dir(tag), name, os.path.getsize(path), want_size))
    out = node.file('netmail/out')
    for name in os.listdir(out) if os.path.isdir(out) else []:
        path = os.path.join(out, name)
        if name.lower().endswith('.msg') and not whole(path, lambda p, size: size >= 190 and read_from(
                p, size - 1) == b'\0'):
            report.add('netmail cut under its final name', '%snetmail/out/%s: %d bytes' % (
                when, name, os.path.getsize(path)))


def expect_sent(files, senders=None):
    """What check_sent wants for files {(area, name): (crc, size)}: every
    link but the file's sender gets it."""
    sent = {}
    for (tag, name), (c, size) in files.items():
        for link in LINKS:
            address = expand(link[0])
            if not senders or senders[(tag, name)] != address:
                sent.setdefault(address, {})[(tag.upper(), name)] = (area_dir(tag) + name, c, size)
    return sent


# ---- The commands -------------------------------------------------------------------

class Toss:
    args, carries_on = ['toss'], True

    def __init__(self, count, boxes=False):
        self.count, self.boxes = count, boxes
        self.name, self.kills = ('toss-boxes', 8) if boxes else ('toss', 20)

    def setup(self, node, rng):
        write(node.file('areas.ctl'), areas_text(all_links()))
        if self.boxes:
            use_boxes(node)
        self.files, self.senders = {}, {}
        for n in range(self.count):
            tag = rng.choice(AREAS)
            address, password = LINKS[n % len(LINKS)][:2]
            name = payload_name(rng, n)
            data = payload(rng, rng.randrange(1, 4096))
            write(node.file('in/' + name), data)
            tic = ('Area %s\r\nOrigin %s\r\nFrom %s\r\nTo Sysop %s\r\nFile %s\r\nDesc Payload %d of the kill test\r\n'
                   'Size %d\r\nCrc %08X\r\nPath %s 1780000000 Sun Jun 28 09:46:40 2026 UTC\r\nSeenby %s\r\n'
                   'Pw %s\r\n' % (tag, address, address, AKA, name, n, len(data), crc(data), address, address,
                                  password))
            write(node.file('in/kt%06d.%s' % (n, 'tic' if n % 3 else 'TIC')), tic)
            self.files[(tag, name)] = (crc(data), len(data))
            self.senders[(tag, name)] = expand(address)

    def check(self, node, report):
        left = sorted(os.listdir(node.file('in'))) if os.path.isdir(node.file('in')) else []
        for name in left:
            report.add('TIC left in the inbound' if name.lower().endswith('.tic') else 'file left in the inbound',
                       name)
        check_stored(node, report, self.files)
        if self.boxes:
            check_boxes(node, report, self.files, self.senders)
        else:
            check_sent(node, report, expect_sent(self.files, self.senders))
        check_dupes(node, report)


class Scan:
    name, args, kills, carries_on = 'scan', ['scan'], 8, True

    def __init__(self, count):
        self.count = count

    def setup(self, node, rng):
        subscribed = {tag: [link[3] for link in LINKS if rng.random() < 0.5] for tag in AREAS}
        write(node.file('areas.ctl'), areas_text(subscribed))
        state = {tag: {expand(e) for e in entries} for tag, entries in subscribed.items()}
        self.senders = []
        for n in range(self.count):
            address, password = LINKS[rng.randrange(len(LINKS))][:2]
            full = expand(address)
            zone, rest = full.split(':')
            net, node_point = rest.split('/')
            number, point = node_point.split('.')
            lines = []
            for tag in rng.sample(AREAS, rng.randrange(1, 5)):
                if rng.random() < 0.5:
                    lines.append('+' + tag)
                    state[tag].add(full)
                else:
                    lines.append('-' + tag.lower())
                    state[tag].discard(full)
            sender = 'Killtest Sysop %03d' % n
            self.senders.append(sender)
            form = ('from: %s\nto: FileFix\nsubject: %s\ndest-node: 1\norig-node: %s\norig-net: %s\ndest-net: 9999\n'
                    'attribute: 257\ntext:\n^AINTL 2:9999/1 %s:%s/%s\n^AFMPT %s\n%s\n---\n'
                    % (sender, password, number, net, zone, net, number, point, '\n'.join(lines)))
            write(node.file('netmail/in/%d.msg' % (n + 2)), dump.build('x.msg', form))
        self.state = state

    def check(self, node, report):
        left = [n for n in os.listdir(node.file('netmail/in')) if n.lower().endswith('.msg')]
        for name in sorted(left):
            report.add('request left', 'netmail/in/' + name)
        answers = Counter()
        out = node.file('netmail/out')
        for name in os.listdir(out) if os.path.isdir(out) else []:
            if name.lower().endswith('.msg'):
                to = re.search(r'^to: (.*)$', dump.dump(name, open(os.path.join(out, name), 'rb').read()), re.M)
                if to:  # a cut one is told by check_whole
                    answers[to.group(1)] += 1
        for sender in self.senders:
            if answers[sender] != 1:
                report.add('request not answered once', '%s: %d answers' % (sender, answers[sender]))
        for sender in set(answers) - set(self.senders):
            report.add('answer to no request', sender)
        # areas.ctl: every block once, whole, with the links the requests leave.
        text = open(node.file('areas.ctl'), 'rb').read().decode('cp866')
        blocks = re.split(r'(?im)^(?=area\s)', text)[1:]
        seen = Counter()
        for block in blocks:
            fields = {}
            for line in block.splitlines():
                key, _, value = line.split(';')[0].strip().partition(' ')
                if key:
                    fields[key.upper()] = value.strip()
            tag = fields.get('AREA', '')
            seen[tag] += 1
            if tag not in self.state:
                report.add('areas.ctl holds a strange block', block.strip()[:80])
                continue
            if fields.get('PATH') != area_dir(tag) or fields.get('AKA') != AKA or fields.get('GROUP') != 'A':
                report.add('areas.ctl block damaged', block.strip()[:120])
            links = {expand(e) for e in fields.get('LINKS', '').split()}
            if links != self.state[tag]:
                report.add('area links not as requested', '%s: %s, want %s' % (
                    tag, ' '.join(sorted(links)), ' '.join(sorted(self.state[tag]))))
        for tag in self.state:
            if seen[tag] != 1:
                report.add('area block not once in areas.ctl', '%s: %d blocks' % (tag, seen[tag]))


class Hatch:
    name, kills, carries_on, done = 'hatch', 8, False, b'Hatch done'
    tag, upload = AREAS[0], 'upload/Big Release Image 2026.Iso'

    def __init__(self, megabytes):
        self.size = megabytes << 20
        self.args = ['hatch', None, self.tag, '-n', '-c', '-dBig release image of the kill test']

    def setup(self, node, rng):
        write(node.file('areas.ctl'), areas_text(all_links()))
        data = payload(rng, self.size)
        write(node.file(self.upload), data)
        self.files = {(self.tag, os.path.basename(self.upload)): (crc(data), len(data))}

    def arguments(self, node):
        return [node.file(self.upload) if a is None else a for a in self.args]

    def check(self, node, report):
        check_stored(node, report, self.files)
        check_sent(node, report, expect_sent(self.files))


class AutoHatch:
    args, kills, carries_on = ['autohatch'], 8, True

    def __init__(self, count, boxes=False):
        self.count, self.boxes = count, boxes
        self.name = 'autohatch-boxes' if boxes else 'autohatch'

    def setup(self, node, rng):
        write(node.file('areas.ctl'), areas_text(all_links()))
        if self.boxes:
            use_boxes(node)
        self.files = {}
        for n in range(self.count):
            tag = AREAS[n % 5]
            name = payload_name(rng, n)
            data = payload(rng, rng.randrange(1, 4096))
            write(node.file(area_dir(tag) + name), data)
            self.files[(tag, name)] = (crc(data), len(data))

    def check(self, node, report):
        check_stored(node, report, self.files)
        if self.boxes:
            check_boxes(node, report, self.files)
        else:
            check_sent(node, report, expect_sent(self.files))


def use_boxes(node):
    with open(node.file('BRENMOOR.CTL'), 'ab') as f:
        f.write(b'Mode LFILEBOX\r\n')


def check_boxes(node, report, files, senders=None):
    """Each link's long-named file box holds a whole copy of each file (but
    the sender's) and one TIC naming it, and nothing else."""
    for address, _, flavour, _, _ in LINKS:
        box = 'boxes/' + re.sub('/', '.', re.sub(':', '.', expand(address), 1), 1) + (
            '.H' if flavour == 'HOLD' else '')
        present = set(os.listdir(node.file(box))) if os.path.isdir(node.file(box)) else set()
        tics = Counter()
        for name in present:
            if name.lower().endswith('.tic'):
                tic = read_tic(node.file(box + '/' + name))
                tics[(tic.get('AREA', '').upper(), tic.get('FILE', ''))] += 1
        names = set()
        for (tag, name), (want_crc, want_size) in files.items():
            if senders and senders[(tag, name)] == expand(address):
                continue
            names.add(name)
            path = node.file(box + '/' + name)
            if name not in present:
                report.add('file not in the box of a link', '%s/%s' % (box, name))
            elif os.path.getsize(path) != want_size or file_crc(path) != want_crc:
                report.add('file in a box damaged', '%s/%s' % (box, name))
            if tics[(tag.upper(), name)] != 1:
                report.add('TICs naming a file in a box not one', '%s: %s: %d TICs' % (
                    box, name, tics[(tag.upper(), name)]))
        for name in present - names:
            if not name.lower().endswith('.tic') and not name.startswith('.'):
                report.add('unexpected file in a box', '%s/%s' % (box, name))
    outbound = node.file('out/tic')
    for name in os.listdir(outbound) if os.path.isdir(outbound) else []:
        report.add('TIC left in the outbound, in no box', 'out/tic/' + name)


class Purge:
    name, args, kills, carries_on = 'purge', ['purge'], 8, True

    def __init__(self, count):
        self.count = count

    def setup(self, node, rng):
        write(node.file('areas.ctl'), areas_text(all_links()))
        self.kept, self.gone, listing = {}, set(), []
        for n in range(self.count):
            name = payload_name(rng, n)
            data = payload(rng, rng.randrange(1, 2048))
            write(node.file('pass/' + name), data)
            listing.append('"%s" [00] Pass-through file %d\r\n' % (name, n))
            if rng.random() < 0.5:
                self.kept[name] = (crc(data), len(data))
                write(node.file('out/tic/kt%06d.tic' % n), 'Area %s\r\nFile %s\r\nCrc %08X\r\nSize %d\r\n'
                      % (AREAS[1], name, crc(data), len(data)))
            else:
                self.gone.add(name)
        write(node.file('pass/files.bbs'), ''.join(listing))

    def check(self, node, report):
        present = set(os.listdir(node.file('pass')))
        entries = Counter(description_names(node.file('pass/files.bbs')))
        for name, (want_crc, want_size) in self.kept.items():
            path = node.file('pass/' + name)
            if name not in present:
                report.add('waiting file purged', name)
            elif file_crc(path) != want_crc or os.path.getsize(path) != want_size:
                report.add('kept file damaged', name)
            if entries[name] != 1:
                report.add('description entries not one', '%s: %d entries' % (name, entries[name]))
        for name in self.gone:
            if name in present:
                report.add('file not purged', name)
            if entries[name]:
                report.add('description of a purged file left', name)
        for name in present - set(self.kept) - self.gone - {'files.bbs'}:
            if not name.startswith('.'):
                report.add('unexpected file in the pass-through directory', name)


# ---- Running one command --------------------------------------------------------------

def base_files(path):
    return {os.path.relpath(os.path.join(d, n), path) for d, _, names in os.walk(path) for n in names}


def trial(command, binary, root, rng, seed):
    """Builds the node, runs the command uninterrupted on one copy and
    killed on another; returns the report lines of what broke."""
    began = time.monotonic()
    template = os.path.join(root, command.name, 'template')
    make_node(template)
    command.setup(Node(template, binary), rng)
    known = base_files(template)
    lines = []

    meanwhile, seen_whole = Report(), {}  # what others could read between the runs

    def judge(node, what, report):
        command.check(node, report)
        check_whole(node, report, getattr(command, 'files', None))
        check_leftovers(node, report, known)
        for moment, code in node.runs:
            if code != 'killed' and code != 0:
                report.add('run ended with exit %s' % code, 'the run to be killed at %s' % moment if moment
                           else 'the run to the end')
        if report.broken:
            lines.append('FAIL %s %s (seed %d, kills at %s; replay: --seed %d --keep --only %s):'
                         % (command.name, what, seed, ', '.join(m for m, _ in node.runs if m) or 'none', seed,
                            command.name))
            lines.extend(report.lines())

    def args(node):
        return command.arguments(node) if hasattr(command, 'arguments') else command.args

    whole = Node(os.path.join(root, command.name, 'uninterrupted', 'node'), binary)
    shutil.copytree(template, whole.path)
    _, duration = whole.run(args(whole))
    judge(whole, 'uninterrupted', Report())

    killed = Node(os.path.join(root, command.name, 'killed', 'node'), binary)
    shutil.copytree(template, killed.path)
    done = False
    if command.carries_on:
        # Moments of one whole run, as the share of its log written by then:
        # a loaded machine kills at the same places of the work. Each run
        # goes on where the one before it was killed.
        grown = whole.log_size()
        for share in sorted(rng.random() for _ in range(command.kills)):
            killed.run(args(killed), log_size=int(share * grown), jitter=rng.uniform(0, 0.005))
            check_whole(killed, meanwhile, getattr(command, 'files', None), 'after kill %d: ' % len(killed.runs),
                        seen_whole)
    else:
        for moment in [rng.uniform(0, duration) for _ in range(command.kills)]:
            before = killed.log_size()
            code, _ = killed.run(args(killed), after=moment)
            check_whole(killed, meanwhile, command.files, 'after kill %d: ' % len(killed.runs), seen_whole)
            # A hatch that got its work done is done: another would be a new
            # hatch. One killed after saying so leaves at most what the next
            # run of any command clears.
            if code != 'killed':
                done = True
                break
            if command.done in read_from(killed.file('log/brenmoor.log'), before):
                killed.run(['toss'])
                done = True
                break
    if not done:
        killed.run(args(killed))
    judge(killed, 'killed %d times' % sum(1 for _, c in killed.runs if c == 'killed'), meanwhile)
    print('%-9s uninterrupted %.1f s, %d runs killed, %.0f s in all, %.0f s of them in runs' % (
        command.name, duration, sum(1 for _, c in killed.runs if c == 'killed'), time.monotonic() - began,
        whole.seconds + killed.seconds), flush=True)
    return lines


def scratch_base():
    """A RAM disk when it has room: a SIGKILL leaves the same files there
    (the kernel keeps what was written), and syncs cost nothing."""
    try:
        st = os.statvfs('/dev/shm')
        if os.access('/dev/shm', os.W_OK) and st.f_bavail * st.f_frsize > 2 << 30:
            return '/dev/shm'
    except OSError:
        pass
    return tempfile.gettempdir()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--seed', type=int, default=None, help='replays the nodes and the kill moments')
    parser.add_argument('--keep', action='store_true', help='keeps the scratch directory')
    parser.add_argument('--only', default='toss,toss-boxes,scan,hatch,autohatch,autohatch-boxes,purge')
    parser.add_argument('--tics', type=int, default=3000)
    parser.add_argument('--requests', type=int, default=400)
    parser.add_argument('--megabytes', type=int, default=96)
    parser.add_argument('--new-files', type=int, default=400)
    parser.add_argument('--pass-files', type=int, default=1000)
    options = parser.parse_args()
    seed = options.seed if options.seed is not None else random.randrange(1, 1 << 31)
    print('kill test seed %d (replay: --seed %d)' % (seed, seed), flush=True)
    commands = {'toss': Toss(options.tics), 'toss-boxes': Toss(options.tics // 6, True), 'scan': Scan(options.requests), 'hatch': Hatch(options.megabytes),
                'autohatch': AutoHatch(options.new_files), 'autohatch-boxes': AutoHatch(options.new_files // 2, True),
                'purge': Purge(options.pass_files)}
    root = tempfile.mkdtemp(prefix='bm-kill-', dir=scratch_base())
    binary = os.path.abspath(options.binary)
    failures = []
    start = time.monotonic()
    try:
        for name in options.only.split(','):
            # Each command its own generator: --only replays the same node.
            rng = random.Random('%d %s' % (seed, name))
            failures += trial(commands[name], binary, root, rng, seed)
    finally:
        if options.keep:
            print('kept in', root)
        else:
            shutil.rmtree(root, ignore_errors=True)
    print('\n'.join(failures))
    print('%s in %.0f s (seed %d)' % ('FAILED' if failures else 'passed', time.monotonic() - start, seed))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
