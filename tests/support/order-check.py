#!/usr/bin/env python3
"""Records the file operations of a toss, a scan and a hatch with strace and
checks their order: nothing is acknowledged before what the work published
is on disk.

    order-check.py --binary BRENMOOR [--keep]

An acknowledgment is the deletion of an inbound TIC, of a request (*.msg in
NETMAILIN) or of a toss or hatch journal: after it, nobody else knows the
work is to be done. Each must follow a sync that covers every publishing
write before it: a create, write, rename, link or new directory anywhere in
the node but the log, TempDir and the busy flags. syncfs(2) or sync(2) cover
every write before them; fsync(2) and fdatasync(2) the writes to their file
and, on a directory, the names made in it.

Each command runs on its own node with "Durability Full", where no
acknowledgment may come too early, and with "Durability None", where some
must: so the analysis is shown to find what it looks for. Each run must
acknowledge something. Exit 77 when strace cannot trace here.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dump  # noqa: E402
import killtest as kt  # noqa: E402

STRACE = ['strace', '-f', '-qq', '-z', '-y', '-x', '-e', 'trace=%file,%desc,sync,syncfs,fsync,fdatasync']
WRITES = {'write': 0, 'pwrite64': 0, 'writev': 0, 'pwritev': 0, 'pwritev2': 0, 'ftruncate': 0, 'fallocate': 0,
          'sendfile': 0, 'copy_file_range': 2}
# Where the base node keeps what is acknowledged, and what is no publishing.
ACKNOWLEDGED = re.compile(r'(in/[^/]*\.tic|netmail/in/[^/]*\.msg|tmp/journal/(hatch/|bad/)?[^/]*\.jnl)$', re.I)
PRIVATE = re.compile(r'(log/|tmp/|flags/|.*\.bsy(~[^/]*)?$)', re.I)

CALL = re.compile(r'^(\d+) +(\w+)\((.*)\) += (-?\d+)')
ARG = re.compile(r'\s*("(?:[^"\\]|\\.)*"(?:\.\.\.)?|-?\w+<(?:[^>\\]|\\.)*>|\{[^}]*\}|\[[^\]]*\]|[^,]*)\s*(?:,|$)')


def unquote(text):
    return text.strip('"').encode('latin-1').decode('unicode_escape').encode('latin-1').decode('utf-8', 'replace')


def fd_path(arg):
    """The path strace -y shows for a descriptor argument, or None."""
    m = re.match(r'-?\w+<(.*)>$', arg)
    return unquote(m.group(1)).removesuffix(' (deleted)') if m else None


def joined(lines):
    """Trace lines with each call split by another process's put back together."""
    held = {}
    for number, line in enumerate(lines, 1):
        pid = line.split(' ', 1)[0]
        if line.endswith('<unfinished ...>'):
            held[pid] = (number, line[:-len('<unfinished ...>')].rstrip())
        elif ' resumed>' in line and pid in held:
            start, head = held.pop(pid)
            yield start, head + line.split(' resumed>', 1)[1]
        else:
            yield number, line


def events(trace, cwd):
    """(line, kind, path, second path) of the calls that matter, paths absolute:
    kinds data, entry, rename, link, sync, fsync, unlink."""
    for number, line in joined(trace):
        m = CALL.match(line)
        if not m:
            continue
        name, args = m.group(2), ARG.findall(m.group(3))

        def path(i, dirfd=None):
            base = fd_path(args[dirfd]) if dirfd is not None else None
            return os.path.normpath(os.path.join(base or cwd, unquote(args[i])))

        if name in WRITES:
            target = fd_path(args[WRITES[name]])
            if target and target.startswith('/'):
                yield number, 'data', target, None
        elif name in ('open', 'openat', 'creat'):
            at = 1 if name == 'openat' else 0
            flags = args[at + 1] if name != 'creat' else 'O_CREAT|O_TRUNC'
            if 'O_CREAT' in flags:
                yield number, 'entry', path(at, 0 if at else None), None
            if 'O_TRUNC' in flags:
                yield number, 'data', path(at, 0 if at else None), None
        elif name == 'truncate':
            yield number, 'data', path(0), None
        elif name in ('mkdir', 'symlink'):
            yield number, 'entry', path(1 if name == 'symlink' else 0), None
        elif name in ('mkdirat', 'symlinkat'):
            yield number, 'entry', path(1 if name == 'mkdirat' else 2, 0 if name == 'mkdirat' else 1), None
        elif name == 'link':
            yield number, 'link', path(0), path(1)
        elif name == 'linkat':
            yield number, 'link', path(1, 0), path(3, 2)
        elif name == 'rename':
            yield number, 'rename', path(0), path(1)
        elif name in ('renameat', 'renameat2'):
            yield number, 'rename', path(1, 0), path(3, 2)
        elif name in ('unlink', 'unlinkat', 'rmdir'):
            yield number, 'unlink', path(1, 0) if name == 'unlinkat' else path(0), None
        elif name in ('sync', 'syncfs'):
            yield number, 'sync', None, None
        elif name in ('fsync', 'fdatasync'):
            yield number, 'fsync', fd_path(args[0]), None
        elif name == 'chdir':
            cwd = path(0)


def check_order(trace, node, cwd):
    """The acknowledgments made, and those made too early as text."""
    def published(p):
        rel = os.path.relpath(p, node)
        return not rel.startswith('..') and not PRIVATE.match(rel)

    # Unsynced writes (line, kind, path) under the name they have now: data
    # written in TempDir and renamed into the outbound is published there.
    pending, acknowledged, early = [], 0, []
    for number, kind, p, to in events(trace, cwd):
        if kind == 'sync':
            pending = []
        elif kind == 'fsync':
            # A file's data, or the names made in a directory.
            pending = [w for w in pending if (w[2] if w[1] == 'data' else os.path.dirname(w[2])) != p]
        elif kind in ('rename', 'link'):
            moved = [(n, k, to) for n, k, q in pending if q == p and k == 'data']
            pending = [w for w in pending if kind == 'link' or w[2] != p] + moved + [(number, 'entry', to)]
        elif kind in ('data', 'entry'):
            pending.append((number, kind, p))
        elif kind == 'unlink' and ACKNOWLEDGED.match(os.path.relpath(p, node)):
            acknowledged += 1
            unsynced = [w for w in pending if published(w[2])]
            if unsynced:
                n, k, q = unsynced[-1]
                early.append('%s deleted (trace line %d) with %d writes unsynced, the last %s %s (line %d)'
                             % (os.path.relpath(p, node), number, len(unsynced),
                                'of data to' if k == 'data' else 'the name', os.path.relpath(q, node), n))
        elif kind == 'unlink':
            pending = [w for w in pending if w[2] != p]  # a name gone publishes nothing
    return acknowledged, early


def add_list_request(node):
    """A %LIST request beside the subscriptions that Scan writes."""
    address, password = kt.LINKS[0][:2]
    zone, rest = address.split(':')
    net, number = rest.split('/')
    form = ('from: Order Check Sysop\nto: FileFix\nsubject: %s\ndest-node: 1\norig-node: %s\norig-net: %s\n'
            'dest-net: 9999\nattribute: 257\ntext:\n^AINTL 2:9999/1 %s:%s/%s\n%%LIST\n---\n'
            % (password, number, net, zone, net, number))
    kt.write(node.file('netmail/in/1.msg'), dump.build('x.msg', form))


def traced(binary, root, command, durability, keep):
    """Builds the command's node, runs it under strace; returns the report lines."""
    node = kt.Node(os.path.join(root, '%s with Durability %s' % (command.name.title(), durability), 'Order Node'),
                   binary)
    kt.make_node(node.path)
    command.setup(node, random.Random(command.name))
    if isinstance(command, kt.Scan):
        add_list_request(node)
    with open(node.file('BRENMOOR.CTL'), 'ab') as f:
        f.write(b'Durability %s\r\n' % durability.encode())
    cwd = os.path.dirname(node.path)
    log = os.path.join(cwd, 'strace of the run.log')
    env = {k: v for k, v in os.environ.items() if not k.startswith(('LC_', 'BRENMOOR'))}
    env.update(LANG='C.UTF-8', LC_ALL='C.UTF-8', TZ='UTC', BRENMOOR_DIR=node.path)
    args = command.arguments(node) if hasattr(command, 'arguments') else command.args
    run = subprocess.run(STRACE + ['-o', log, binary] + args, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    with open(log, encoding='latin-1') as f:
        acknowledged, early = check_order(f.read().splitlines(), node.path, cwd)
    what = '%s (Durability %s%s)' % (command.name, durability, ', trace ' + log if keep else '')
    problems = []
    if run.returncode != 0:
        problems.append('%s ended with exit %d:\n%s' % (what, run.returncode, run.stdout.decode(errors='replace')))
    if acknowledged == 0:
        problems.append('%s deleted no inbound TIC, request or journal: nothing was checked' % what)
    if durability == 'Full':
        problems += ['%s: %s' % (what, line) for line in early]
    elif not early:
        problems.append('%s: no acknowledgment before a sync without syncs; nothing published, or the check '
                        'sees nothing' % what)
    print('%s: %d acknowledgments, %d before their sync' % (what, acknowledged, len(early)), flush=True)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--keep', action='store_true')
    options = parser.parse_args()
    if not shutil.which('strace') or subprocess.run(STRACE + ['-o', os.devnull, 'true']).returncode != 0:
        print('strace is missing or cannot trace here (scripts/setup installs it): skipped')
        return 77
    hatch = kt.Hatch(0)
    hatch.size = 300000
    root = tempfile.mkdtemp(prefix='bm-order-')
    problems = []
    try:
        for command in (kt.Toss(12), kt.Scan(4), hatch):
            for durability in ('None', 'Full'):
                problems += traced(os.path.abspath(options.binary), root, command, durability, options.keep)
    finally:
        if options.keep:
            print('kept in', root)
        else:
            shutil.rmtree(root, ignore_errors=True)
    print('\n'.join(problems + (['(--keep keeps the traces the line numbers refer to)'] if problems and not
                                     options.keep else [])) or 'passed: nothing acknowledged before a sync')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
