#!/usr/bin/env python3
"""Brenmoor between real mailer and tosser: two nodes on loopback.

    interop.py BRENMOOR [--keep]

Node A (2:5020/1) hatches a file into INTEROP.FILES; binkd carries file and
TIC to node B (2:5020/2) once for each way Brenmoor can leave them (flow
files direct and hold, short and long file boxes, and file attaches in
NETMAILOUT that crashmail turns into flow files); B tosses the file into
its echo and forwards it to its link C (2:5020/3), a bare binkd that polls
B and must get every file and TIC. Then B writes a request
to A's robot as *.msg netmail, crashmail packs it, binkd carries it, A's
crashmail unpacks it, `brenmoor scan` answers, and the answer goes back the
same way: once to subscribe, once to unsubscribe, with crashmail keeping
its high-water mark in 1.msg and deleting exported K/S messages, so the
second answer must be numbered above the mark to be exported at all. binkd, crashmail and the nodes live in a scratch directory under
/tmp that is removed at the end (--keep leaves it). Exit 77 when binkd or
crashmail is not installed.
"""
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import traceback

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLE = os.path.join(SOURCE, 'examples', 'node')

A_ADDR, B_ADDR, C_ADDR = '2:5020/1', '2:5020/2', '2:5020/3'
SESSION_PW = 'SESSPW'      # binkd session password between A and B
FILE_PW = 'FILEPW'         # Brenmoor's link password: TICs and robot requests
ROBOT = 'Brenmoor'
STEP_TIMEOUT = 20          # seconds for one binkd session or tool run
LIFETIME = 60              # seconds any started process may live at most


class Failure(Exception):
    pass


def bounded(argv):
    """Every tool runs under timeout(1): should this script itself be killed
    (a ctest timeout sends SIGKILL), no binkd outlives it for long."""
    return ['timeout', '-k', '5', str(LIFETIME)] + argv


class Stopped(BaseException):
    """A signal ends the whole run (past the checks that catch failures),
    through the cleanup."""


def stopped_by_signal(number, frame):
    raise Stopped('stopped by signal %d' % number)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def write(path, text, mode='w'):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, mode) as f:
        f.write(text)


def listing(root):
    lines = []
    for dirpath, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(dirpath, name)
            lines.append('  %8d  %s' % (os.path.getsize(path), os.path.relpath(path, root)))
    return '\n'.join(lines)


def read_msg(path):
    """A stored message: (from, to, subject, attribute, text)."""
    data = open(path, 'rb').read()
    if len(data) < 190:
        raise Failure('%s: %d bytes, shorter than a message header' % (path, len(data)))
    field = lambda a, b: data[a:b].split(b'\0')[0].decode('cp866')
    attribute = struct.unpack_from('<H', data, 186)[0]
    text = data[190:].split(b'\0')[0].decode('cp866')
    return field(0, 36), field(36, 72), field(72, 144), attribute, text


def build_msg(from_name, to_name, subject, orig, dest, lines, msgid):
    """A stored netmail as a sysop's editor writes it: header, INTL and
    MSGID kludges (no points: no FMPT, TOPT), CR line ends, local and
    private."""
    oz, on, of = parts(orig)
    dz, dn, df = parts(dest)
    header = b''.join(s.encode('cp866').ljust(n, b'\0')[:n] for s, n in
                      ((from_name, 36), (to_name, 36), (subject, 72),
                       (time.strftime('%d %b %y  %H:%M:%S', time.gmtime()), 20)))
    header += struct.pack('<13H', 0, df, of, 0, on, dn, dz, oz, 0, 0, 0, 0x0101, 0)
    kludges = ['INTL %d:%d/%d %d:%d/%d' % (dz, dn, df, oz, on, of), 'MSGID: %s %08x' % (orig, msgid)]
    body = ''.join('\x01%s\r' % k for k in kludges) + ''.join(l + '\r' for l in lines)
    return header + body.encode('cp866') + b'\0'


def parts(address):
    zone, rest = address.split(':')
    net, node = rest.split('/')
    return int(zone), int(net), int(node)


class Node:
    def __init__(self, root, name, address, port):
        self.name = name
        self.address = address
        self.port = port
        self.dir = os.path.join(root, name)
        self.prog = os.path.join(self.dir, 'node')             # Brenmoor's program directory
        self.inbound = os.path.join(self.prog, 'in')
        self.unsecure = os.path.join(self.dir, 'in-unsecure')
        self.outbound = os.path.join(self.prog, 'out', 'outbound')
        self.boxes = os.path.join(self.prog, 'boxes')
        self.netmail_in = os.path.join(self.prog, 'netmail', 'in')
        self.netmail_out = os.path.join(self.prog, 'netmail', 'out')
        self.binkd_conf = os.path.join(self.dir, 'binkd.conf')
        self.binkd_log = os.path.join(self.dir, 'binkd.log')
        self.crashmail_prefs = os.path.join(self.dir, 'crashmail.prefs')
        self.crashmail_log = os.path.join(self.dir, 'crashmail.log')

    def flow_name(self, address):
        _, net, node = parts(address)
        return '%04x%04x' % (net, node)


class Interop:
    def __init__(self, binary, keep, tools):
        self.binary = os.path.abspath(binary)
        self.binkd = tools['binkd']
        self.crashmail_binary = tools['crashmail']
        self.keep = keep
        self.root = tempfile.mkdtemp(prefix='brenmoor-interop-', dir='/tmp')
        self.procs = []            # started processes, each the leader of its own group
        ports = set()
        while len(ports) < 3:
            ports.add(free_port())
        port_a, port_b, port_c = sorted(ports)
        self.a = Node(self.root, 'a', A_ADDR, port_a)
        self.b = Node(self.root, 'b', B_ADDR, port_b)
        self.c = Node(self.root, 'c', C_ADDR, port_c)
        self.nodes = (self.a, self.b)      # the two that run Brenmoor and crashmail
        self.tossed = {}                   # name: content of each file B tossed
        self.transcript = []

    # ---- processes ------------------------------------------------------

    def run(self, what, argv, env=None, timeout=STEP_TIMEOUT, cwd=None):
        """Runs a tool to its end; its output goes to the transcript."""
        full_env = dict(os.environ, LC_ALL='C.UTF-8', NO_COLOR='1')
        full_env.pop('BRENMOOR_DIR', None)
        full_env.update(env or {})
        proc = subprocess.Popen(bounded(argv), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=full_env,
                                stdin=subprocess.DEVNULL, cwd=cwd or self.root, start_new_session=True)
        self.procs.append(proc)
        try:
            out, _ = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.stop(proc)
            raise Failure('%s: no end after %d s' % (what, timeout))
        finally:
            if proc in self.procs and proc.poll() is not None:
                self.procs.remove(proc)
        text = out.decode('utf-8', 'replace')
        self.transcript.append('$ %s  (%s, exit %d)\n%s' % (' '.join(argv), what, proc.returncode, text))
        return proc.returncode, text

    def start(self, argv):
        proc = subprocess.Popen(bounded(argv), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL, cwd=self.root, start_new_session=True)
        self.procs.append(proc)
        return proc

    def stop(self, proc):
        """Ends a started process and whatever it forked, by its group."""
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGTERM)
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait(timeout=5)
            except ProcessLookupError:
                pass
        # Session children binkd forked stay in the group after their parent.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        if proc in self.procs:
            self.procs.remove(proc)

    def brenmoor(self, node, *args, expect=0):
        code, out = self.run('brenmoor ' + args[0] + ' at ' + node.name, [self.binary, *args],
                             env={'BRENMOOR_DIR': node.prog})
        if expect is not None and code != expect:
            raise Failure('brenmoor %s at %s ended with %d:\n%s' % (' '.join(args), node.name, code, out))
        return out

    def crashmail(self, node, command):
        code, out = self.run('crashmail ' + command + ' at ' + node.name,
                             [self.crashmail_binary, 'SETTINGS', node.crashmail_prefs, command])
        if code != 0:
            raise Failure('crashmail %s at %s ended with %d:\n%s' % (command, node.name, code, out))
        return out

    def session(self, server, client, poll):
        """One binkd session: server waits, client calls (poll: asks for
        the server's hold mail too) and ends when its queue is empty."""
        mark = log_size(server.binkd_log)
        srv = self.start([self.binkd, '-s', server.binkd_conf])
        try:
            wait_for(lambda: 'servmgr listen on' in log_since(server.binkd_log, mark),
                     'binkd at %s listening on %d' % (server.name, server.port), proc=srv)
            argv = [self.binkd, '-p'] + (['-P', server.address] if poll else []) + [client.binkd_conf]
            code, _ = self.run('binkd client at ' + client.name, argv)
            if code != 0:
                raise Failure('binkd client at %s ended with %d' % (client.name, code))
            # The server's session child may still be closing (its .bsy is
            # still there) when the client has ended: it is waited for, or
            # the next session would find the node busy.
            wait_for(lambda: sessions_done(log_since(server.binkd_log, mark)),
                     'the session at %s to end' % server.name, proc=srv)
        finally:
            self.stop(srv)

    # ---- the two nodes ---------------------------------------------------

    def setup(self):
        for node in self.nodes:
            shutil.copytree(SAMPLE, node.prog, symlinks=False, ignore=shutil.ignore_patterns('sample'))
            for d in (node.inbound, node.unsecure, node.outbound, node.boxes, node.netmail_in, node.netmail_out,
                      os.path.join(node.dir, 'cm', 'tmp'), os.path.join(node.dir, 'cm', 'pkt'),
                      os.path.join(node.dir, 'cm', 'bad')):
                os.makedirs(d, exist_ok=True)
            self.write_brenmoor_ctl(node, 'BINK')
            groups = open(os.path.join(node.prog, 'Groups.ctl')).read().replace('2:9999/1', node.address)
            write(os.path.join(node.prog, 'Groups.ctl'), groups)
            # No uplink: a request for an echo the node lacks is answered "not found".
            write(os.path.join(node.prog, 'FORWARD.CTL'), '; no uplinks\n')
            self.write_crashmail_prefs(node)
        self.write_binkd_conf(self.a, [self.b])
        self.write_binkd_conf(self.b, [self.a, self.c])
        # C is only a mailer: B's binkd has what B's toss queued for it.
        for d in (self.c.inbound, self.c.unsecure, self.c.outbound, self.c.boxes):
            os.makedirs(d, exist_ok=True)
        self.write_binkd_conf(self.c, [self.b])
        self.write_links(self.a, 'DIRECT')
        write(os.path.join(self.a.prog, 'areas.ctl'),
              'Area           INTEROP.FILES\n'
              'Path           files/interop/\n'
              'Desc           Files hatched for the interop run\n'
              'Group          A\n'
              'AKA            %s\n'
              'Links          2\n'
              '\n'
              'Area           INTEROP.EXTRA\n'
              'Path           files/extra/\n'
              'Desc           Echo that B asks the robot for\n'
              'Group          A\n'
              'AKA            %s\n' % (A_ADDR, A_ADDR))
        write(os.path.join(self.b.prog, 'Links.ctl'),
              '; A: the hub the files come from; C: a downlink\n'
              '! %s %s %s No No No A - 100 DIRECT\n'
              '! %s %s CPW No No No A - 100 HOLD\n' % (A_ADDR, B_ADDR, FILE_PW, C_ADDR, B_ADDR))
        write(os.path.join(self.b.prog, 'areas.ctl'),
              'Area           INTEROP.FILES\n'
              'Path           files/interop/\n'
              'Desc           Files from A\n'
              'Group          A\n'
              'AKA            %s\n'
              'Links          1 3\n' % B_ADDR)
        for node in self.nodes:
            code, out = self.run('brenmoor check at ' + node.name, [self.binary, 'check'],
                                 env={'BRENMOOR_DIR': node.prog})
            if code != 0:
                raise Failure('brenmoor check at %s:\n%s' % (node.name, out))

    def write_brenmoor_ctl(self, node, mode):
        lines = []
        for line in open(os.path.join(SAMPLE, 'BRENMOOR.CTL')).read().splitlines():
            key = line.split(';')[0].split()
            key = key[0].upper() if key else ''
            if key == 'ADDRESS':
                if lines and lines[-1].startswith('Address'):
                    continue
                line = 'Address            ' + node.address
            elif key == 'MODE':
                line = 'Mode               ' + mode
            elif key == 'ORIGIN':
                line = 'Origin             Brenmoor interop node ' + node.name.upper()
            elif key == 'INTERFACE':
                line = 'Interface          LINES'
            lines.append(line)
        write(os.path.join(node.prog, 'BRENMOOR.CTL'), '\n'.join(lines) + '\n')

    def write_links(self, node, files_send):
        write(os.path.join(node.prog, 'Links.ctl'),
              'Link         %s\n'
              'AKA          %s\n'
              'Password     %s\n'
              'CreateArea   No\n'
              'PlusAll      No\n'
              'Group        A\n'
              'Security     100\n'
              'FilesSend    %s\n' % (B_ADDR, A_ADDR, FILE_PW, files_send))

    def write_binkd_conf(self, node, peers):
        write(node.binkd_conf,
              'domain fidonet %s 2\n'
              'address %s@fidonet\n'
              'sysname "Brenmoor interop %s"\n'
              'location "loopback"\n'
              'sysop "Sysop %s"\n'
              'nodeinfo 115200,TCP,BINKP\n'
              'log %s\n'
              'loglevel 6\n'
              'conlog 0\n'
              'listen 127.0.0.1:%d\n'
              'iport %d\n'
              'timeout 15\n'
              'connect-timeout 5\n'
              'call-delay 1\n'
              'rescan-delay 1\n'
              'try 0\n'
              'inbound %s\n'
              'inbound-nonsecure %s\n'
              'filebox %s\n'
              'pid-file %s\n'
              % (node.outbound, node.address, node.name.upper(), node.name.upper(), node.binkd_log, node.port,
                 node.port, node.inbound, node.unsecure, node.boxes, os.path.join(node.dir, 'binkd.pid'))
              + ''.join('node %s@fidonet 127.0.0.1:%d %s\n' % (p.address, p.port, SESSION_PW) for p in peers))

    def write_crashmail_prefs(self, node):
        other = self.b if node is self.a else self.a
        cm = os.path.join(node.dir, 'cm')
        write(node.crashmail_prefs,
              'SYSOP "Sysop %s"\n'
              'LOGFILE "%s"\n'
              'LOGLEVEL 5\n'
              'DUPEFILE "%s/dupes" 200\n'
              'DUPEMODE KILL\n'
              'DEFAULTZONE 2\n'
              'INBOUND "%s"\n'
              'OUTBOUND "%s"\n'
              'TEMPDIR "%s/tmp"\n'
              'CREATEPKTDIR "%s/pkt"\n'
              'PACKETDIR "%s"\n'
              'STATSFILE "%s/stats"\n'
              'FORCEINTL\n'
              # As crashmail's example: 1.msg keeps the high-water mark; K/S
              # messages (the robot's answers) are deleted once exported.
              'MSG_HIGHWATER\n'
              'ALLOWKILLSENT\n'
              'PACKER "ZIP" "zip -j %%a %%f" "unzip -j %%a" "PK"\n'
              'AKA %s\n'
              'DOMAIN "FidoNet"\n'
              'NODE %s "ZIP" ""\n'
              'ROUTE "%s" "%s" %s\n'
              'NETMAIL "NETMAIL" %s MSG "%s"\n'
              'NETMAIL "ROBOT" %s MSG "%s"\n'
              'AREA "BAD" %s MSG "%s/bad"\n'
              % (node.name.upper(), node.crashmail_log, cm, node.inbound, node.outbound, cm, cm, node.outbound, cm,
                 node.address, other.address, other.address, other.address, node.address,
                 node.address, node.netmail_in, node.address, node.netmail_out, node.address, cm))

    # ---- the checks ------------------------------------------------------

    def tic_names(self, directory):
        return sorted(n for n in os.listdir(directory) if n.lower().endswith('.tic'))

    def carry_file(self, mode, files_send, serial):
        """A hatches a file of its own, binkd brings it to B, B tosses it and
        queues it for C."""
        a, b = self.a, self.b
        # What a failed mode before left behind must not pass for this one's.
        for d in (a.outbound, os.path.join(a.prog, 'out', 'tic'), a.boxes, b.inbound):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
        self.write_brenmoor_ctl(a, mode)
        self.write_links(a, files_send)
        name = 'IOP%05d.TXT' % serial
        content = ('%s carried %s by binkd\r\n' % (name, mode + '/' + files_send)).encode() * (50 + serial)
        upload = os.path.join(a.dir, 'upload', name)
        write(upload, content, 'wb')
        before_hatch = set(messages(a.netmail_out))
        self.brenmoor(a, 'hatch', upload, 'INTEROP.FILES', '-n', '-c', '-dFile %d through binkd' % serial)

        hold = files_send == 'HOLD'
        if mode == 'BINK':
            flow = os.path.join(a.outbound, a.flow_name(B_ADDR) + ('.hlo' if hold else '.dlo'))
            if not os.path.isfile(flow):
                raise Failure('hatch at A wrote no flow file %s' % flow)
            waiting = [flow]
        elif mode == 'AMA':
            # File attaches: crashmail turns them into flow lines for binkd.
            new = sorted(set(messages(a.netmail_out)) - before_hatch)
            attaches = [read_msg(os.path.join(a.netmail_out, n)) for n in new]
            if len(attaches) != 2:
                raise Failure('hatch at A wrote %d file attaches, not two (file and TIC)' % len(attaches))
            self.crashmail(a, 'SCAN')
            waiting = [os.path.join(a.outbound, n) for n in os.listdir(a.outbound)
                       if n.lower().startswith(a.flow_name(B_ADDR)) and n.lower()[-3:] in ('flo', 'dlo', 'hlo', 'clo')]
            if not waiting:
                high = high_water(a.netmail_out)
                raise Failure('crashmail at A made no flow file of the attaches %s%s' % (
                    ', '.join(m[2] for m in attaches),
                    '' if high is None else ' (its high-water mark in 1.msg: %d; the attaches: %s)'
                    % (high, ', '.join(new))))
            if hold != all(w.lower().endswith('.hlo') for w in waiting):
                raise Failure('crashmail at A made %s of %s attaches' % (waiting, files_send))
        else:
            # Whatever box the hatch filled: binkd has to find it by its name.
            waiting = [os.path.join(d, n) for d, _, files in os.walk(a.boxes) for n in files]
            if not waiting:
                raise Failure('hatch at A put nothing into %s' % a.boxes)

        # Hold mail goes only to a caller: A's binkd must not take it to B
        # on its own, B has to poll. Anything else A's binkd delivers by
        # calling B itself.
        if hold:
            self.session(server=b, client=a, poll=False)
            if not all(os.path.exists(w) for w in waiting) or os.path.exists(os.path.join(b.inbound, name)):
                raise Failure('binkd at A sent hold mail without a poll')
            self.session(server=a, client=b, poll=True)
        else:
            self.session(server=b, client=a, poll=False)

        left = [w for w in waiting if os.path.exists(w)]
        if left:
            raise Failure('binkd did not send %s' % (', '.join(left)))
        # crashmail sends copies of attached files from its own outbound and
        # takes no KFS from the FLAGS kludge: an attached TIC stays.
        sent_tics = self.tic_names(os.path.join(a.prog, 'out', 'tic'))
        if sent_tics and mode != 'AMA':
            raise Failure('the TIC %s stayed in A\'s outbound after it was sent' % (sent_tics))
        own = os.path.join(a.prog, 'files', 'interop', name)
        if not os.path.isfile(own) or open(own, 'rb').read() != content:
            raise Failure('A lost its own copy of %s in the echo' % (name))
        got = os.path.join(b.inbound, name)
        if not os.path.isfile(got) or open(got, 'rb').read() != content:
            raise Failure('%s did not arrive at B whole' % (name))
        tics = self.tic_names(b.inbound)
        if not tics:
            raise Failure('no TIC arrived at B')

        before = self.flow_lines(b, C_ADDR, '.hlo')
        self.brenmoor(b, 'toss')
        stored = os.path.join(b.prog, 'files', 'interop', name)
        if not os.path.isfile(stored) or open(stored, 'rb').read() != content:
            raise Failure('B did not toss %s into INTEROP.FILES' % (name))
        desc = open(os.path.join(b.prog, 'files', 'interop', 'files.bbs'), encoding='cp866').read()
        if 'File %d through binkd' % serial not in desc:
            raise Failure('files.bbs at B lacks the description of %s:\n%s' % (name, desc))
        if self.tic_names(b.inbound) or os.path.exists(got):
            raise Failure('the toss at B left %s in its inbound' % (os.listdir(b.inbound)))
        added = self.flow_lines(b, C_ADDR, '.hlo')[len(before):]
        if [l for l in added if not l.startswith('^')] != [stored]:
            raise Failure('B queued %r for C, not the stored file' % (added))
        tic_lines = [l[1:] for l in added if l.startswith('^')]
        if len(tic_lines) != 1 or not os.path.isfile(tic_lines[0]):
            raise Failure('B queued no TIC for C: %r' % (added))
        tic = open(tic_lines[0], encoding='cp866').read()
        for want in ('Area INTEROP.FILES', 'File ' + name, 'To ' + C_ADDR, 'Pw CPW'):
            if want.lower() not in tic.lower():
                raise Failure('the TIC for C lacks "%s":\n%s' % (want, tic))
        self.tossed[name] = content

    def carry_to_c(self):
        """C polls B: binkd takes what B's tosses queued for C, and the
        "^" lines have it delete the TICs, not the files in B's echo."""
        b, c = self.b, self.c
        if not self.tossed:
            raise Failure('B tossed nothing that could go on to C')
        self.session(server=b, client=c, poll=True)
        if os.path.exists(os.path.join(b.outbound, b.flow_name(C_ADDR) + '.hlo')):
            raise Failure('binkd at B left the flow file for C: %r' % self.flow_lines(b, C_ADDR, '.hlo'))
        for name, content in self.tossed.items():
            got = os.path.join(c.inbound, name)
            if not os.path.isfile(got) or open(got, 'rb').read() != content:
                raise Failure('%s did not arrive at C whole' % name)
            if not os.path.isfile(os.path.join(b.prog, 'files', 'interop', name)):
                raise Failure('binkd at B deleted %s from the echo after sending it' % name)
        tics = self.tic_names(c.inbound)
        files = sorted(line.split()[1] for t in tics
                       for line in open(os.path.join(c.inbound, t), encoding='cp866').read().splitlines()
                       if line.lower().startswith('file '))
        if files != sorted(self.tossed):
            raise Failure('the TICs at C name %r, not %r' % (files, sorted(self.tossed)))
        if self.tic_names(os.path.join(b.prog, 'out', 'tic')):
            raise Failure('binkd at B kept the TICs it sent: %r' % self.tic_names(os.path.join(b.prog, 'out', 'tic')))

    def flow_lines(self, node, address, ext):
        path = os.path.join(node.outbound, node.flow_name(address) + ext)
        if not os.path.exists(path):
            return []
        return [l for l in open(path).read().splitlines() if l]

    def robot(self, command, result, linked):
        """B asks A's robot by netmail through crashmail and binkd; the
        answer comes back the same way."""
        a, b = self.a, self.b
        request = next_message_name(b.netmail_out)
        with open(request, 'wb') as f:
            f.write(build_msg('Sysop B', ROBOT, FILE_PW, B_ADDR, A_ADDR, [command], 0x1F2E3D4C + len(self.transcript)))
        self.crashmail(b, 'SCAN')
        if not self.packets_for(b, A_ADDR):
            raise Failure('crashmail at B packed no netmail for A from %s' % os.path.basename(request))
        self.session(server=a, client=b, poll=False)
        if not [n for n in os.listdir(a.inbound) if n.lower().endswith('.pkt')]:
            raise Failure('binkd brought no packet to A')
        self.crashmail(a, 'TOSS')
        if not messages(a.netmail_in):
            raise Failure('crashmail at A tossed no netmail into %s' % a.netmail_in)

        before = set(messages(a.netmail_out))
        self.brenmoor(a, 'scan')
        areas = open(os.path.join(a.prog, 'areas.ctl')).read()
        if area_linked(areas, 'INTEROP.EXTRA', B_ADDR) != linked:
            raise Failure('after "%s" the robot at A has B %slinked to INTEROP.EXTRA:\n%s'
                          % (command, '' if not linked else 'not ', areas))
        if messages(a.netmail_in):
            raise Failure('the robot at A left the request in %s' % a.netmail_in)
        answers = sorted(set(messages(a.netmail_out)) - before)
        if not answers:
            raise Failure('the robot at A wrote no answer')

        out = self.crashmail(a, 'SCAN')
        if not self.packets_for(a, B_ADDR):
            high = high_water(a.netmail_out)
            raise Failure('crashmail at A did not export the answer %s: %s' % (', '.join(answers), (
                'it is not above the high-water mark %d that crashmail keeps in 1.msg, and the answers '
                'before were exported and deleted (K/S)' % high) if high is not None else out))
        # The robot's answer to a DIRECT link is direct, to a HOLD link on
        # hold: B polls either way.
        self.session(server=a, client=b, poll=True)
        before = set(messages(b.netmail_in))
        self.crashmail(b, 'TOSS')
        arrived = [read_msg(os.path.join(b.netmail_in, n)) for n in sorted(set(messages(b.netmail_in)) - before)]
        answer = [m for m in arrived if m[0] == ROBOT and m[1] == 'Sysop B']
        if not answer:
            raise Failure('no answer of the robot arrived at B: %r' % arrived)
        text = answer[0][4]
        if 'INTEROP.EXTRA' not in text or result not in text:
            raise Failure('the answer at B does not say INTEROP.EXTRA: %s:\n%s' % (result, text.replace('\r', '\n')))

    def packets_for(self, node, address):
        """Netmail packets crashmail left for the address, in any flavour."""
        return [n for n in os.listdir(node.outbound) if n.lower().startswith(node.flow_name(address))
                and n.lower()[-3:] in ('out', 'dut', 'hut', 'cut')]

    # ---- report ----------------------------------------------------------

    def report(self):
        out = ['--- transcript']
        out += self.transcript
        for node in self.nodes + (self.c,):
            for log in (node.binkd_log, node.crashmail_log, os.path.join(node.prog, 'log', 'brenmoor.log')):
                if os.path.exists(log):
                    out.append('--- %s' % os.path.relpath(log, self.root))
                    out.append(open(log, encoding='utf-8', errors='replace').read())
            out.append('--- files of %s' % node.name)
            out.append(listing(node.dir))
        return '\n'.join(out)

    def cleanup(self):
        for proc in list(self.procs):
            self.stop(proc)
        if self.keep:
            print('kept', self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)


def messages(directory):
    """The stored messages of a directory, but crashmail's high-water mark."""
    return [n for n in os.listdir(directory) if n.lower().endswith('.msg') and n != '1.msg']


def high_water(directory):
    """The high-water mark crashmail keeps in 1.msg (its reply field)."""
    path = os.path.join(directory, '1.msg')
    if not os.path.exists(path):
        return None
    return struct.unpack_from('<H', open(path, 'rb').read(), 184)[0]


def next_message_name(directory):
    """The name an editor gives a new message: above every message and
    above the high-water mark."""
    numbers = [int(n[:-4]) for n in os.listdir(directory) if n.lower().endswith('.msg') and n[:-4].isdigit()]
    return os.path.join(directory, '%d.msg' % (max(numbers + [high_water(directory) or 0, 1]) + 1))


def area_linked(areas, tag, address):
    """Whether the Links line of the tag's block in areas.ctl names the
    address (in full or as the node number of the same net)."""
    block, found = None, False
    for line in areas.splitlines():
        words = line.split(';')[0].split()
        if not words:
            continue
        if words[0].lower() == 'area':
            block = words[1].upper() if len(words) > 1 else None
        elif block == tag and words[0].lower() == 'links':
            found = address in words[1:] or address.split('/')[1] in words[1:]
    return found


def log_size(path):
    return os.path.getsize(path) if os.path.exists(path) else 0


def log_since(path, offset):
    if not os.path.exists(path):
        return ''
    with open(path, 'rb') as f:
        f.seek(offset)
        return f.read().decode('utf-8', 'replace')


def sessions_done(log):
    """Every session child the server started has ended."""
    return log.count('started server #') == log.count('] rc(')


def wait_for(condition, what, timeout=10, proc=None):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return
        if proc is not None and proc.poll() is not None:
            raise Failure('%s: the process ended with %d' % (what, proc.returncode))
        time.sleep(0.05)
    raise Failure('%s: not within %d s' % (what, timeout))


def describe(error):
    """A failure of the run as its message; anything else with its traceback."""
    if isinstance(error, Failure):
        return str(error)
    return ''.join(traceback.format_exception(error)).rstrip()


MODES = [('BINK', 'DIRECT'), ('BINK', 'HOLD'), ('FILEBOX', 'DIRECT'), ('FILEBOX', 'HOLD'),
         ('LFILEBOX', 'DIRECT'), ('LFILEBOX', 'HOLD')]
# File attaches go through crashmail's scan of NETMAILOUT, after the robot.
ATTACH_MODES = [('AMA', 'DIRECT'), ('AMA', 'HOLD')]


def main():
    args = [a for a in sys.argv[1:] if a != '--keep']
    if len(args) != 1:
        print(__doc__)
        return 2
    # binkd lies in /usr/sbin, which a user's PATH often lacks.
    search = os.environ.get('PATH', '') + ':/usr/sbin:/sbin'
    tools = {t: shutil.which(t, path=search) for t in ('binkd', 'crashmail')}
    missing = [t for t, path in tools.items() if path is None]
    if missing:
        print('interop: %s not installed (scripts/setup installs them); skipped' % ' and '.join(missing))
        return 77
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, stopped_by_signal)
    started = time.monotonic()
    test = Interop(args[0], '--keep' in sys.argv, tools)
    failed = []
    try:
        test.setup()
        def carry(serial, mode, files_send):
            try:
                test.carry_file(mode, files_send, serial)
                print('ok    %-8s %-6s file and TIC through binkd, tossed at B, queued for C' % (mode, files_send))
            except Exception as e:
                failed.append('%s %s' % (mode, files_send))
                print('FAIL  %-8s %-6s %s' % (mode, files_send, describe(e)))

        for serial, (mode, files_send) in enumerate(MODES, 1):
            carry(serial, mode, files_send)
        for command, result, linked in (('+INTEROP.EXTRA', 'Added', True), ('-INTEROP.EXTRA', 'Removed', False)):
            try:
                test.robot(command, result, linked)
                print('ok    robot: "%s" through crashmail and binkd, areas.ctl changed, "%s" back at B'
                      % (command, result))
            except Exception as e:
                failed.append('robot ' + command)
                print('FAIL  robot: "%s": %s' % (command, describe(e)))
        for serial, (mode, files_send) in enumerate(ATTACH_MODES, len(MODES) + 1):
            carry(serial, mode, files_send)
        try:
            test.carry_to_c()
            print('ok    C polls B: every tossed file and its TIC, the TICs removed at B')
        except Exception as e:
            failed.append('C')
            print('FAIL  C: %s' % describe(e))
    except Exception as e:
        failed.append('setup')
        print('FAIL  %s' % describe(e))
    except Stopped as e:
        failed.append(str(e))
        print('FAIL  %s' % e)
    finally:
        if failed:
            print(test.report())
        test.cleanup()
    print('interop: %s in %.1f s' % ('FAILED: ' + ', '.join(failed) if failed else 'ok', time.monotonic() - started))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
