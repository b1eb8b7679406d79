#!/usr/bin/env python3
"""Runs behaviour scenarios of brenmoor: a folder of given files, a run
file of commands, and the expected output and files (see tests/README.md).

    scenario.py --binary BRENMOOR [--update] [--keep] FOLDER...
"""
import argparse
import concurrent.futures
import difflib
import hashlib
import itertools
import multiprocessing.util
import os
import random
import re
import shlex
import shutil
import signal
import string
import subprocess
import sys
import tempfile
import time

import dump

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCENARIOS = os.path.join(SOURCE, 'tests', 'scenarios')
TEST_TIME = '1796637600'  # 2026-12-07 10:00:00 UTC
RANDOM_TIC = re.compile(r'BM[0-9A-Z]{6}\.TIC')
MSGID = re.compile(r'(MSGID: \S+ )([0-9A-F]{8})')


def expand(text, root):
    return (text.replace('$NODE', root + '/node').replace('$WORK', root + '/work')
            .replace('$ROOT', root).replace('$SOURCE', SOURCE))


def lay_files(source, target, root):
    """Copies a tree; text forms of binary files are built, $NODE expanded."""
    for dirpath, _, files in os.walk(source, followlinks=True):
        rel = os.path.relpath(dirpath, source)
        os.makedirs(os.path.join(target, rel), exist_ok=True)
        for name in files:
            src, dst = os.path.join(dirpath, name), os.path.join(target, rel, name)
            data = open(src, 'rb').read()
            try:
                data = dump.build(name, expand(data.decode('utf-8'), root))
            except UnicodeDecodeError:
                pass
            with open(dst, 'wb') as out:
                out.write(data)
            shutil.copymode(src, dst)


def scratch_root():
    """A new directory for a run's node and work: on /dev/shm when it can
    be written, where creating, renaming and deleting costs no journal and
    no disk (the interrupted lines do that thousands of times), else in
    /tmp. Its path has the same length on either, so that screens which
    show a path lay out alike on every machine."""
    if os.access('/dev/shm', os.W_OK | os.X_OK):
        for _ in range(100):
            root = '/dev/shm/bm-' + ''.join(random.choices(string.ascii_lowercase + string.digits, k=4))
            try:
                os.mkdir(root, 0o700)
                return root
            except FileExistsError:
                continue
    return tempfile.mkdtemp(prefix='bm-', dir='/tmp')


def snapshot(root):
    """Each file's digest, and the TIC names of the form the program draws
    at random that stand in the tree already."""
    files, seen = {}, set()
    for dirpath, dirs, names in os.walk(root):
        dirs[:] = [d for d in dirs if not (dirpath == root and d.startswith('.'))]
        for name in names:
            path = os.path.join(dirpath, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, 'rb') as f:
                data = f.read()
            files[os.path.relpath(path, root)] = hashlib.sha1(data).hexdigest()
            seen.update(RANDOM_TIC.findall(path + '\n' + data.decode('latin-1')))
    return files, seen


class Run:
    def __init__(self, folder, binary):
        self.folder = folder
        self.binary = binary
        self.root = scratch_root()
        self.node = os.path.join(self.root, 'node')
        self.work = os.path.join(self.root, 'work')
        self.pids = []
        self.output = []
        self.baseline = None
        self.old_names = set()
        self.steps = []       # the run lines so far, for the interrupted copies
        self.failures = []

    def environment(self, extra):
        env = {k: v for k, v in os.environ.items() if not k.startswith(('LC_', 'BRENMOOR', 'ASAN', 'UBSAN'))}
        env.update(LANG='C.UTF-8', LC_ALL='C.UTF-8', TZ='UTC', BRENMOOR_DIR=self.node,
                   BRENMOOR_TEST_TIME=TEST_TIME, NODE=self.node, WORK=self.work, ROOT=self.root,
                   SOURCE=SOURCE, BRENMOOR=self.binary, BRENMOOR_TMUX='brenmoor-%d' % os.getpid())
        env.update(extra)
        return env

    def prepare(self):
        base = os.path.join(SCENARIOS, 'base')
        base_file = os.path.join(self.folder, 'base')
        if os.path.exists(base_file):
            base = os.path.join(SOURCE, open(base_file).read().strip())
        lay_files(base, self.node, self.root)
        given = os.path.join(self.folder, 'given')
        if os.path.isdir(given):
            lay_files(given, self.node, self.root)
        os.makedirs(self.work)

    def execute(self, line, session=()):
        if session and line.startswith('interrupted '):
            raise RuntimeError('the interrupted copies run without a terminal, so take no "> " steps: ' + line)
        if session and not line.startswith('tty '):
            raise RuntimeError('"> " steps follow a "tty WxH brenmoor" line, not: ' + line)
        if line.startswith('$ '):
            # A step of the scenario's own, in the node directory.
            result = subprocess.run(['/bin/sh', '-c', line[2:]], cwd=self.node, env=self.environment({}),
                                    capture_output=True)
            if result.returncode != 0:
                raise RuntimeError('step failed: %s\n%s' % (line, (result.stdout + result.stderr).decode()))
            self.steps.append((line, ()))
            return
        if self.baseline is None:
            self.baseline, self.old_names = snapshot(self.root)
        words = shlex.split(line)
        tty = None
        interrupted = words[0] == 'interrupted'
        if interrupted:
            words = words[1:]
        if words[0] == 'tty':
            tty = words[1]
            words = words[2:]
        extra = {}
        while '=' in words[0]:
            key, value = words.pop(0).split('=', 1)
            extra[key] = expand(value, self.root)
        prefix = []
        if words[0] == 'setpriv' and 'brenmoor' in words:
            # Run as another user or with fewer capabilities.
            if interrupted:
                raise RuntimeError('setpriv only on a plain or a tty run line: ' + line)
            prefix = words[:words.index('brenmoor')]
            words = words[len(prefix):]
        if words[0] != 'brenmoor':
            raise RuntimeError('a run line starts with "brenmoor", "tty WxH", "setpriv ... brenmoor" or "$ ": ' + line)
        args = [expand(w, self.root) for w in words[1:]]
        env = self.environment(extra)
        self.output.append('$ ' + line)
        if tty:
            text, code = self.in_terminal(tty, args, env, session, prefix)
        else:
            text, code = self.run_program(args, env, prefix)
        self.output.append(self.mask(text).rstrip('\n'))
        self.output.append('exit %d' % code)
        if interrupted:
            self.failures += self.interrupt_everywhere(words[1:], extra)
        self.steps.append((line[len('interrupted '):] if interrupted else line, session))

    def run_program(self, args, env, prefix=()):
        proc = subprocess.Popen(list(prefix) + [self.binary] + args, cwd=self.work, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.pids.append(proc.pid)
        out, err = proc.communicate(timeout=120)
        try:
            text = out.decode('utf-8')
        except UnicodeDecodeError:  # bytes of another character set: every high byte as \xNN
            text = ''.join(chr(b) if b < 0x80 else '\\x%02x' % b for b in out)
        if err:
            text += '--- stderr\n' + err.decode('utf-8', 'backslashreplace')
        return text, proc.returncode

    def interrupt_everywhere(self, words, extra):
        """The command again on fresh copies, killed ("stop:N"), failing
        ("fail:N") or finding the disk full ("nospace:N") at its N-th file
        operation, then run once more: the second run must leave every file
        as the uninterrupted run did. The trials run in a pool of
        SCENARIO_JOBS processes (default: one per core), each replaying
        from its own copy of the node as the lines before this one left it."""
        job = Interruption(self.folder, self.binary, list(self.steps), words, extra, interrupted_files(self))
        # A failure counts only operations that report one: once the N-th
        # is not met, no later one is, and that mode is done.
        modes = list(MODES)
        # SCENARIO_FAULT_STRIDE=k (the sanitizer build's test preset) tries
        # each mode at every k-th operation only, the modes at different
        # ones, so that every operation still meets some fault.
        stride = max(1, int(os.environ.get('SCENARIO_FAULT_STRIDE', '1')))
        jobs = max(1, int(os.environ.get('SCENARIO_JOBS', '0')) or os.cpu_count() or 1)

        def trials():
            for n in range(1, 10000):
                for mode in MODES:
                    if mode in modes and (n + MODES.index(mode)) % stride == 0:
                        yield mode, n
        pending = trials()
        last = 10000      # the first N that a stop no longer meets: the command's end
        failed = {}       # N: the reports of the trials that failed there

        def wanted(n):  # up to the end, and no further than the first failure
            return n <= last and (not failed or n <= min(failed))
        if jobs == 1:
            set_interruption(job)
            try:
                for mode, n in pending:
                    if not wanted(n):
                        break
                    last = self.judge_trial(mode, n, *interrupt_once(mode, n), modes, failed, last)
            finally:
                job.close()
        else:
            with concurrent.futures.ProcessPoolExecutor(jobs, initializer=set_interruption, initargs=(job,)) as pool:
                # A few trials ahead of the results: those past the end or
                # after a failure are wasted, the rest keep every worker busy.
                running = {}
                while True:
                    while len(running) < 2 * jobs:
                        trial = next(pending, None)
                        if trial is None or not wanted(trial[1]):
                            break
                        running[pool.submit(interrupt_once, *trial)] = trial
                    if not running:
                        break
                    done, _ = concurrent.futures.wait(running, return_when=concurrent.futures.FIRST_COMPLETED)
                    for future in done:
                        mode, n = running.pop(future)
                        last = self.judge_trial(mode, n, *future.result(), modes, failed, last)
        # The first N with a failure, every mode that failed there.
        return failed[min(failed)] if failed else []

    @staticmethod
    def judge_trial(mode, n, killed, met, report, modes, failed, last):
        """Notes one trial's result; returns where the command ends now."""
        if n > last:
            return last
        if mode == 'stop' and not killed:
            last = n
        if not met and mode != 'stop' and mode in modes:
            modes.remove(mode)
        if report:
            failed.setdefault(n, []).append('after %s:%d and a second run\n%s' % (mode, n, '\n'.join(report)))
        return last

    def in_terminal(self, size, args, env, session, prefix=()):
        """Runs the program in a tmux window and does the session's steps
        while it runs; its output is what the steps captured, the final
        screen and whether the terminal was left as it was found."""
        width, height = window_size(size, size)
        window = Window(env, os.path.join(self.root, '.tty'), self.work, list(prefix) + [self.binary] + args,
                        width, height)
        try:
            shown = []
            for line in session:
                capture = self.beside(window, line) if line[2:].startswith(('run ', '$ ')) else window.step(line)
                if capture is not None:
                    shown.append(capture)
            final, restored = window.finish()
        finally:
            window.close()
        if shown:
            shown.append('--- end')
        if final:
            shown.append(final)
        return '\n'.join(shown + [restored]), window.exit_code()

    def beside(self, window, line):
        """A step done beside the program in the window, once it has drawn:
        "> run brenmoor ..." runs the program again, its output and exit
        code recorded; "> $ command" is a shell step in the node directory."""
        window.running(line)
        if line.startswith('> $ '):
            result = subprocess.run(['/bin/sh', '-c', line[4:]], cwd=self.node, env=self.environment({}),
                                    capture_output=True)
            if result.returncode != 0:
                raise RuntimeError('step failed: %s\n%s' % (line, (result.stdout + result.stderr).decode()))
            return None
        words = shlex.split(line[len('> run '):])
        if not words or words[0] != 'brenmoor':
            raise RuntimeError('a run step is "> run brenmoor ...": ' + line)
        text, code = self.run_program([expand(w, self.root) for w in words[1:]], self.environment({}))
        return '--- %s\n%s\nexit %d' % (line[2:], text.rstrip('\n'), code)

    def mask(self, text):
        text = text.replace(self.binary, '$BRENMOOR')
        text = text.replace(self.node, '$NODE').replace(self.work, '$WORK').replace(self.root, '$ROOT')
        return re.sub(r'\[i\] \d+', '[i] $MEM', text)

    def actual(self):
        """What the run shows: output, files created or changed, files removed."""
        final, _ = snapshot(self.root)
        baseline = self.baseline or {}
        shown = {'output': '\n'.join(self.output) + '\n'}
        changed = sorted(p for p, h in final.items() if baseline.get(p) != h)
        for path in changed:
            data = open(os.path.join(self.root, path), 'rb').read()
            if path.lower().endswith('.bsy') and data.decode('latin-1').split('\n')[0].strip() in map(str, self.pids):
                data = b'$PID'
            shown[path] = self.mask(dump.dump(os.path.basename(path), data))
        removed = sorted(set(baseline) - set(final))
        if removed:
            shown['removed'] = '\n'.join(removed) + '\n'
        return self.stable_names(shown)

    def stable_names(self, shown):
        """Random TIC names, numbered by the link they go to, and MSGID
        serials, numbered in order of appearance."""
        tics = {}
        for path, content in shown.items():
            for name in RANDOM_TIC.findall(path + '\n' + content):
                if name not in self.old_names:
                    tics.setdefault(name, [])
            if os.path.basename(path) in tics:
                tics[os.path.basename(path)].append(content)

        def order(name):
            lines = [l for c in sorted(tics[name]) for l in c.splitlines()]
            return ([l for l in lines if l.startswith('To ')], lines, name)
        renames = {name: 'BM-%04d.TIC' % (i + 1) for i, name in enumerate(sorted(tics, key=order))}
        serials = {}

        def serial(match):
            serials.setdefault(match.group(2), '$MSGID%d' % (len(serials) + 1))
            return match.group(1) + serials[match.group(2)]
        result = {}
        for path in sorted(shown):
            content = shown[path]
            for name, new in renames.items():
                content = content.replace(name, new)
                path = path.replace(name, new)
            result[path] = MSGID.sub(serial, content)
        return result


MODES = ['stop', 'fail', 'nospace']


def interrupted_files(run):
    """What an interrupted run and the run after it are compared by: a TIC
    left for the next run is done after the others, so only the order of
    lines and ring records may differ."""
    def lines(content):
        content = re.sub(r'(?m)^\d+: | number \d+$| last \d+$', '', content)
        return '\n'.join(sorted(content.splitlines())) + '\n'
    shown, messages = {}, []
    for path, content in run.actual().items():
        if path == 'output' or path.endswith(('.log', 'msgid.dat')):  # serials only grow
            continue
        if path.endswith('.msg'):  # numbered in the order written
            messages.append(re.sub(r'\$MSGID\d+', '$MSGID', lines(content)))
        else:
            shown[path] = lines(content)
    shown['every *.msg'] = '\n'.join(sorted(messages))
    return shown


class Interruption:
    """One interrupted line: the scenario, the lines before it, its command
    and what the uninterrupted run left."""
    def __init__(self, folder, binary, steps, words, extra, reference):
        self.folder, self.binary, self.steps = folder, binary, steps
        self.words, self.extra, self.reference = words, extra, reference
        self.node = None   # a Run at its state before the command, once made
        self.saved = None  # a copy of that state

    def fresh(self):
        """The node as the lines before the command left it, on the same
        root every time (paths in the files stay true): made once, then
        copied back for each trial, hard links, FIFOs and owners too."""
        if self.node is None:
            node = Run(self.folder, self.binary)
            node.prepare()
            for step, session in self.steps:
                node.execute(step, session)
            # Changes count from where the uninterrupted run's do: before
            # the first run line, also when runs came before.
            if node.baseline is None:
                node.baseline, node.old_names = snapshot(node.root)
            self.saved = scratch_root()
            copy_tree(node.root, self.saved)
            self.node, self.pids = node, list(node.pids)
        else:
            copy_tree(self.saved, self.node.root)
            self.node.pids = list(self.pids)
        return self.node

    def close(self):
        for path in (self.node and self.node.root, self.saved):
            if path:
                shutil.rmtree(path, ignore_errors=True)


def copy_tree(source, target):
    shutil.rmtree(target, ignore_errors=True)
    subprocess.run(['cp', '-a', source, target], check=True)


INTERRUPTION = None


def set_interruption(job):
    """Starts a worker of the pool: its copies go when it ends."""
    global INTERRUPTION
    INTERRUPTION = job
    multiprocessing.util.Finalize(job, job.close, exitpriority=10)


def interrupt_once(mode, n):
    """One trial: the command with the fault "mode:n", then one plain run
    unless the fault was not met. Returns whether a stop killed it,
    whether the fault was met and the differences from the uninterrupted run."""
    job = INTERRUPTION
    trial = job.fresh()
    args = [expand(w, trial.root) for w in job.words]
    mark = os.path.join(trial.root, 'fault-met')
    fault = dict(job.extra, BRENMOOR_FAULT='%s:%d' % (mode, n), BRENMOOR_FAULT_MARK=mark)
    _, code = trial.run_program(args, trial.environment(fault))
    if not os.path.exists(mark):
        return code == -9, False, []
    os.unlink(mark)
    # A hatch that got its work done before it ended is done (a killed run
    # leaves only its busy flag, and a journal that says the hatch is done,
    # which the next run removes): started again, it would be a second hatch.
    left = {p: c for p, c in interrupted_files(trial).items()
            if not p.endswith('BRENMOOR.BSY')
            and not ('/journal/hatch/' in p and 'done' in c.splitlines())}
    if args[0].lower() == 'hatch' and not compare(job.reference, left):
        return code == -9, True, []
    trial.run_program(args, trial.environment(job.extra))
    return code == -9, True, compare(job.reference, interrupted_files(trial))


def window_size(text, line):
    match = re.fullmatch(r'(\d+)x(\d+)', text.strip())
    if not match:
        raise RuntimeError('a size is WIDTHxHEIGHT: ' + line)
    return match.group(1), match.group(2)


# The private modes a program turns on for pastes and the mouse, which it
# must turn off again: bracketed paste and the mouse reports.
INPUT_MODES = {'2004': 'bracketed paste', '1000': 'mouse reports', '1002': 'mouse reports',
               '1003': 'mouse reports', '1005': 'mouse reports', '1006': 'mouse reports', '1015': 'mouse reports'}
PRIVATE_MODE = re.compile(rb'\x1b\[\?([0-9;]+)([hl])')


def escaped(text):
    """A step's text with \\n, \\r, \\t, \\e and \\\\ for line ends, tabs, Esc and a backslash."""
    return re.sub(r'\\([nrte\\])',
                  lambda m: {'n': '\n', 'r': '\r', 't': '\t', 'e': '\x1b', '\\': '\\'}[m.group(1)], text)


# Counts the bytes typed at the terminal and not read, also those of a line
# not ended (which a terminal in line mode does not count as readable).
UNREAD = '''import os, termios
modes = termios.tcgetattr(0)
raw = list(modes)
raw[3] &= ~termios.ICANON
raw[6] = list(modes[6])
raw[6][termios.VMIN], raw[6][termios.VTIME] = 0, 0
termios.tcsetattr(0, termios.TCSANOW, raw)
count = 0
while True:
    data = os.read(0, 4096)
    if not data:
        break
    count += len(data)
termios.tcsetattr(0, termios.TCSANOW, modes)
print(count)
'''


def sgr_mouse(action, column, row):
    """The bytes a terminal sends for a click, a double click or a wheel
    step at a 1-based cell, in SGR mouse encoding."""
    def event(button, final):
        return ('\x1b[<%d;%d;%d%s' % (button, column, row, final)).encode()
    if action == 'click':
        return event(0, 'M') + event(0, 'm')
    if action == 'double':
        return (event(0, 'M') + event(0, 'm')) * 2
    if action in ('wheelup', 'wheeldown'):
        return event(64 if action == 'wheelup' else 65, 'M')
    raise RuntimeError('a mouse step is "> mouse click|double|wheelup|wheeldown COLUMN ROW"')


class Window:
    """The tmux window of one terminal run. The shell in it notes the tty
    modes before and after the program, its PID and its exit code, then
    waits to be told to print "--- after" in the colours it was left. The
    program runs as a job under support/jobshell.py, as under a sysop's
    shell: when the job stops (SIGTSTP, Ctrl+Z) that notes the modes,
    prints "--- stopped" and waits to be told to bring it back as fg does.
    Everything the program writes is kept (pipe-pane), to see which input
    modes it left on."""
    SETTLE = 0.2     # a screen is stable when unchanged this long
    DEADLINE = 10    # for a step's screen to settle
    EXIT_DEADLINE = 60

    sessions = itertools.count(1)

    def __init__(self, env, state, work, command, width, height):
        # A server of its own for every session: a new one on the socket of a
        # server that is still shutting down may exit at once.
        socket = '%s-%d' % (env['BRENMOOR_TMUX'], next(self.sessions))
        self.tmux = ['tmux', '-L', socket]
        self.env = {k: v for k, v in env.items() if k != 'TMUX'}
        self.env['BRENMOOR_TMUX'] = socket
        self.state = state
        shutil.rmtree(state, ignore_errors=True)
        os.makedirs(state)
        q = {name: shlex.quote(os.path.join(state, name))
             for name in ('before', 'after', 'code', 'go', 'printed', 'start', 'stream', 'typeahead')}
        shell = ("while [ ! -e {start} ]; do sleep 0.02; done; "
                 "cd {work} && stty -g > {before} && stty -a > {before}.a; "
                 # The shell's own word on a killed job ("Hangup", its PID) is not the program's.
                 "exec 3>&2; {{ python3 {jobshell} {state} {program} 2>&3 3>&-; }} 2>/dev/null; "
                 "code=$?; exec 3>&-; "
                 "stty -g > {after}; stty -a > {after}.a; echo $code > {code}.new; mv {code}.new {code}; "
                 "while [ ! -e {go} ]; do sleep 0.05; done; "
                 # What was typed and not read would reach the shell as a command.
                 "python3 -c {unread} > {typeahead}; "
                 "printf '\\r\\n--- after\\n'; touch {printed}; sleep 600").format(
            unread=shlex.quote(UNREAD),
            work=shlex.quote(work), program=' '.join(shlex.quote(a) for a in command),
            jobshell=shlex.quote(os.path.join(SOURCE, 'tests', 'support', 'jobshell.py')),
            state=shlex.quote(state), **q)
        # The tmux server takes this environment; the window's command sees it.
        self.run('new-session', '-d', '-s', 'scenario', '-x', width, '-y', height, shell)
        self.run('pipe-pane', '-O', '-t', 'scenario', 'cat >> ' + q['stream'])
        open(self.path('start'), 'w').close()

    def run(self, *args):
        result = subprocess.run(self.tmux + list(args), env=self.env, capture_output=True)
        if result.returncode != 0:
            raise RuntimeError('tmux %s: %s' % (' '.join(args), result.stderr.decode(errors='replace').strip()))
        return result.stdout.decode('utf-8', 'backslashreplace')

    def close(self):
        subprocess.run(self.tmux + ['kill-server'], env=self.env, capture_output=True)

    def path(self, name):
        return os.path.join(self.state, name)

    def exited(self):
        return os.path.exists(self.path('code'))

    def exit_code(self):
        return int(open(self.path('code')).read()) if self.exited() else -1

    def pid(self):
        return int(open(self.path('pid')).read())

    def screen(self, colours=False, row=None):
        flags = ['-p', '-t', 'scenario'] + (['-e'] if colours else [])
        if row is not None:
            flags += ['-S', str(row), '-E', str(row)]
        text = self.run('capture-pane', *flags).replace('\x1b', '\\e')
        return '\n'.join(line.rstrip() for line in text.rstrip('\n').split('\n')).rstrip('\n')

    def look(self):
        """Everything a step could see: the colours, the cursor, the modes."""
        return self.run('capture-pane', '-p', '-e', '-t', 'scenario', ';', 'display', '-p', '-t', 'scenario',
                        '#{cursor_x} #{cursor_y} #{cursor_flag} #{alternate_on}')

    def settle(self, what):
        """Waits until the program has drawn (or ended) and the screen stays
        the same for a while: keys then find it reading, in its modes."""
        deadline = time.time() + self.DEADLINE
        last, since = None, time.time()
        while True:
            seen, now = self.look(), time.time()
            drawn = bool(seen.rsplit('\n', 2)[0].strip())
            if seen != last:
                last, since = seen, now
            elif now - since >= self.SETTLE and (drawn or self.exited()):
                return
            if now > deadline:
                why = 'the screen kept changing' if drawn else 'nothing was drawn'
                raise RuntimeError('%s: %s for %d s; the screen:\n%s' % (what, why, self.DEADLINE, self.screen()))
            time.sleep(0.05)

    def running(self, what):
        self.settle(what)
        if self.exited():
            raise RuntimeError('%s: the program has already ended (exit %d); the screen:\n%s'
                               % (what, self.exit_code(), self.screen()))

    ESCAPE_WAIT = 0.4  # a lone Esc is a key once nothing follows it for 300 ms

    def step(self, line):
        """Does one "> " step; returns what it captured, if it captures."""
        word, _, rest = line[2:].strip().partition(' ')
        if word == 'keys':
            keys = shlex.split(rest)
            if not keys:
                raise RuntimeError('no keys: ' + line)
            self.running(line)
            # Each Escape alone, and nothing after it within the program's wait.
            while keys:
                n = keys.index('Escape') + 1 if 'Escape' in keys else len(keys)
                self.run('send-keys', '-t', 'scenario', '--', *keys[:n])
                if keys[n - 1] == 'Escape':
                    time.sleep(self.ESCAPE_WAIT)
                keys = keys[n:]
            if 'C-z' in shlex.split(rest):
                return self.stopped(line)
        elif word == 'paste':
            text = escaped(line[len('> paste '):])
            if not text:
                raise RuntimeError('nothing to paste: ' + line)
            self.running(line)
            subprocess.run(self.tmux + ['load-buffer', '-b', 'scenario', '-'], input=text.encode(), env=self.env,
                           check=True, capture_output=True)
            # -p: inside the marks of bracketed paste when the program asked
            # for them; line ends are sent as a terminal sends them (CR).
            self.run('paste-buffer', '-p', '-d', '-b', 'scenario', '-t', 'scenario')
        elif word == 'raw':
            # Bytes as a terminal sends them; "\p" waits 100 ms between them.
            pieces = line[len('> raw '):].split('\\p')
            if not ''.join(pieces):
                raise RuntimeError('nothing to send: ' + line)
            self.running(line)
            for i, piece in enumerate(pieces):
                if i > 0:
                    time.sleep(0.1)
                data = escaped(piece).encode()
                if data:
                    self.run('send-keys', '-t', 'scenario', '-H', *('%02x' % b for b in data))
        elif word == 'mouse':
            parts = rest.split()
            if len(parts) != 3 or not parts[1].isdigit() or not parts[2].isdigit():
                raise RuntimeError('a mouse step is "> mouse click|double|wheelup|wheeldown COLUMN ROW": ' + line)
            data = sgr_mouse(parts[0], int(parts[1]), int(parts[2]))
            self.running(line)
            self.run('send-keys', '-t', 'scenario', '-H', *('%02x' % b for b in data))
        elif word == 'type':
            text = line[len('> type '):]
            if not text:
                raise RuntimeError('nothing to type: ' + line)
            self.running(line)
            self.run('send-keys', '-l', '-t', 'scenario', '--', text)
        elif word in ('screen', 'colours') and not rest:
            self.settle(line)
            return '--- %s\n%s' % (word, self.screen(colours=word == 'colours'))
        elif word == 'resize':
            width, height = window_size(rest, line)
            self.running(line)
            self.run('resize-window', '-t', 'scenario', '-x', width, '-y', height)
        elif word == 'signal':
            number = getattr(signal, 'SIG' + rest.strip().upper(), None)
            if not isinstance(number, signal.Signals):
                raise RuntimeError('no such signal: ' + line)
            if number == signal.SIGCONT and os.path.exists(self.path('stopped')):
                # A stopped job goes on as the shell's fg brings it back.
                open(self.path('cont'), 'w').close()
                deadline = time.time() + self.DEADLINE
                while os.path.exists(self.path('stopped')):
                    if time.time() > deadline:
                        raise RuntimeError('%s: the shell did not bring the job back' % line)
                    time.sleep(0.05)
                return None
            self.running(line)
            os.kill(self.pid(), number)
            if number == signal.SIGTSTP:
                return self.stopped(line)
        else:
            raise RuntimeError('a step is "> keys", "> type", "> raw", "> paste", "> mouse", "> screen", "> colours", '
                               '"> resize", "> signal", "> run" or "> $": ' + line)
        return None

    def stopped(self, line):
        """After a stop: whether the terminal was given back to the shell."""
        deadline = time.time() + self.DEADLINE
        while not os.path.exists(self.path('stopped')):
            if time.time() > deadline or self.exited():
                raise RuntimeError('%s: the program did not stop; the screen:\n%s' % (line, self.screen()))
            time.sleep(0.05)
        self.settle(line)
        wrong = self.terminal_left(self.path('stopped.stty'), '--- stopped', check_ttys=False)
        return '--- stopped\n' + ('terminal NOT given back: ' + '; '.join(wrong) if wrong else 'terminal given back')

    def input_modes_left(self):
        """The input modes the program's output left on."""
        try:
            stream = open(self.path('stream'), 'rb').read()
        except FileNotFoundError:
            return []
        on = {}
        for numbers, final in PRIVATE_MODE.findall(stream):
            for number in numbers.decode().split(';'):
                if number in INPUT_MODES:
                    on[number] = final == b'h'
        return sorted({INPUT_MODES[n] + ' on' for n, value in on.items() if value})

    def terminal_left(self, modes_path, label, check_ttys=True):
        """What is not as the shell had it: tty modes, cursor, alternate
        screen, input modes, and the colours of the shell's line "label"."""
        wrong = []
        before, after = (open(p).read().strip() for p in (self.path('before'), modes_path))
        if before != after:
            if check_ttys:
                wrong.append('tty modes ' + tty_modes(open(self.path('before.a')).read(),
                                                      open(self.path('after.a')).read(), before, after))
            else:
                wrong.append('tty modes %s (were %s)' % (after, before))
        cursor, alternate = self.run('display', '-p', '-t', 'scenario', '#{cursor_flag} #{alternate_on}').split()
        if cursor != '1':
            wrong.append('cursor hidden')
        if alternate != '0':
            wrong.append('alternate screen on')
        wrong += self.input_modes_left()
        if check_ttys and os.path.exists(self.path('typeahead')):
            left = int(open(self.path('typeahead')).read())
            if left:
                wrong.append('%d typed bytes left for the shell' % left)
        row = int(self.run('display', '-p', '-t', 'scenario', '#{cursor_y}')) - 1
        plain, coloured = self.screen(row=row), self.screen(colours=True, row=row)
        if plain != label:
            wrong.append('"%s" shows as: %s' % (label, coloured))
        elif coloured != plain:
            wrong.append('colours not reset: ' + coloured)
        return wrong

    def finish(self):
        """Waits for the program to end; the final screen, and one line on
        whether the terminal's modes, cursor, screen and colours are back."""
        deadline = time.time() + self.EXIT_DEADLINE
        while not self.exited():
            if time.time() > deadline:
                screen = self.screen()
                os.kill(self.pid(), signal.SIGKILL)
                raise RuntimeError('the program did not end within %d s, killed it; the screen:\n%s'
                                   % (self.EXIT_DEADLINE, screen))
            time.sleep(0.05)
        self.settle('the final screen')
        final = self.screen()
        open(self.path('go'), 'w').close()
        deadline = time.time() + self.DEADLINE
        while not os.path.exists(self.path('printed')):
            if time.time() > deadline:
                raise RuntimeError('the shell did not print "--- after" within %d s' % self.DEADLINE)
            time.sleep(0.05)
        self.settle('the "--- after" line')
        wrong = self.terminal_left(self.path('after'), '--- after')
        return final, 'terminal NOT restored: ' + '; '.join(wrong) if wrong else 'terminal restored'


def tty_modes(before, after, before_g, after_g):
    """The settings of `stty -a` that changed, as they are now."""
    def settings(text):
        found = {}
        for pair, value, flag in re.findall(r'(\S+) = ([^;]*);|(-?\S+)', text.split('\n', 1)[-1]):
            if pair:
                found[pair] = '%s = %s' % (pair, value)
            else:
                found[flag.lstrip('-')] = flag
        return found
    was, now = settings(before), settings(after)
    changed = [now.get(key, '(no %s)' % key) for key in list(was) + [k for k in now if k not in was]
               if was.get(key) != now.get(key)]
    return ' '.join(changed) if changed else '%s (were %s)' % (after_g, before_g)


def read_expected(folder):
    expect = os.path.join(folder, 'expect')
    files = {}
    for dirpath, _, names in os.walk(expect):
        for name in names:
            path = os.path.join(dirpath, name)
            files[os.path.relpath(path, expect)] = open(path, 'rb').read().decode('utf-8')
    return files


def write_expected(folder, files):
    expect = os.path.join(folder, 'expect')
    shutil.rmtree(expect, ignore_errors=True)
    for path, content in files.items():
        target = os.path.join(expect, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, 'wb') as f:
            f.write(content.encode('utf-8'))


def compare(expected, actual):
    report = []
    for path in sorted(set(expected) | set(actual)):
        want, got = expected.get(path), actual.get(path)
        if want == got:
            continue
        if want is None:
            report.append('unexpected file: expect/%s\n%s' % (path, got))
        elif got is None:
            report.append('missing file: expect/%s' % path)
        else:
            report.append(''.join(difflib.unified_diff(want.splitlines(True), got.splitlines(True),
                                                       'expect/' + path, 'actual/' + path)))
    return report


def run_scenario(folder, binary, update, keep):
    run = Run(folder, binary)
    try:
        # A "tty" line takes the "> " steps below it (comments among them).
        lines = []
        for line in open(os.path.join(folder, 'run'), encoding='utf-8').read().splitlines():
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            if line.startswith('>'):
                if not lines:
                    raise RuntimeError('"> " steps follow a "tty WxH brenmoor" line: ' + line)
                lines[-1][1].append(line)
            else:
                lines.append((line, []))
        run.prepare()
        for line, session in lines:
            run.execute(line, session)
        actual = run.actual()
        if run.failures:
            return run.failures
    except RuntimeError as error:
        return [str(error)]
    finally:
        if keep:
            print('kept in', run.root)
        else:
            shutil.rmtree(run.root, ignore_errors=True)
    if update:
        write_expected(folder, actual)
        return []
    return compare(read_expected(folder), actual)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--update', action='store_true', help='rewrite expect/ from the real output')
    parser.add_argument('--keep', action='store_true', help='keep the scratch directory')
    parser.add_argument('folders', nargs='+')
    options = parser.parse_args()
    failed = 0
    for folder in options.folders:
        folder = os.path.abspath(folder)
        report = run_scenario(folder, os.path.abspath(options.binary), options.update, options.keep)
        name = os.path.relpath(folder, SCENARIOS)
        if report:
            failed += 1
            print('FAIL %s\n%s' % (name, '\n'.join(report)))
        elif options.update:
            print('updated', name)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
