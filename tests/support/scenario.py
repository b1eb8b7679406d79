#!/usr/bin/env python3
"""Runs behaviour scenarios of brenmoor: a folder of given files, a run
file of commands, and the expected output and files (see tests/README.md).

    scenario.py --binary BRENMOOR [--update] [--keep] FOLDER...
"""
import argparse
import difflib
import hashlib
import os
import re
import shlex
import shutil
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
        self.root = tempfile.mkdtemp(prefix='brenmoor-scenario-')
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

    def execute(self, line):
        if line.startswith('$ '):
            # A step of the scenario's own, in the node directory.
            result = subprocess.run(['/bin/sh', '-c', line[2:]], cwd=self.node, env=self.environment({}),
                                    capture_output=True)
            if result.returncode != 0:
                raise RuntimeError('step failed: %s\n%s' % (line, (result.stdout + result.stderr).decode()))
            self.steps.append(line)
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
        if words[0] != 'brenmoor':
            raise RuntimeError('a run line starts with "brenmoor", "tty WxH", or "$ ": ' + line)
        args = [expand(w, self.root) for w in words[1:]]
        env = self.environment(extra)
        self.output.append('$ ' + line)
        if tty:
            text, code = self.in_terminal(tty, args, env)
        else:
            text, code = self.run_program(args, env)
        self.output.append(self.mask(text).rstrip('\n'))
        self.output.append('exit %d' % code)
        if interrupted:
            self.failures += self.interrupt_everywhere(words[1:], extra)
        self.steps.append(line[len('interrupted '):] if interrupted else line)

    def run_program(self, args, env):
        proc = subprocess.Popen([self.binary] + args, cwd=self.work, env=env, stdin=subprocess.DEVNULL,
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
        """The command again on fresh copies, killed ("stop:N") or failing
        ("fail:N") at its N-th file operation, then run once more: the
        second run must leave every file as the uninterrupted run did."""
        def files(run):
            # A TIC left for the next run is done after the others, so only
            # the order of lines and ring records may differ.
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
        reference = files(self)
        failures = []
        for n in range(1, 10000):
            killed = False
            for mode in ('stop', 'fail'):
                trial = Run(self.folder, self.binary)
                try:
                    trial.prepare()
                    for step in self.steps:
                        trial.execute(step)
                    trial.baseline, trial.old_names = snapshot(trial.root)
                    args = [expand(w, trial.root) for w in words]
                    fault = dict(extra, BRENMOOR_FAULT='%s:%d' % (mode, n))
                    _, code = trial.run_program(args, trial.environment(fault))
                    killed = killed or (mode == 'stop' and code == -9)
                    trial.run_program(args, trial.environment(extra))
                    report = compare(reference, files(trial))
                finally:
                    shutil.rmtree(trial.root, ignore_errors=True)
                if report:
                    failures.append('after %s:%d and a second run\n%s' % (mode, n, '\n'.join(report)))
            if not killed or failures:
                return failures
        return failures

    def in_terminal(self, size, args, env):
        """Runs the program in a tmux window; its output is the final screen."""
        width, height = size.split('x')
        socket = env['BRENMOOR_TMUX']
        done = os.path.join(self.root, '.exit-code')
        # The tmux server takes this environment; the window's command sees it.
        command = 'cd %s && %s; echo $? > %s; sleep 600' % (
            shlex.quote(self.work), ' '.join(shlex.quote(a) for a in [self.binary] + args), shlex.quote(done))
        tmux = ['tmux', '-L', socket]
        clean = {k: v for k, v in env.items() if k != 'TMUX'}
        subprocess.run(tmux + ['new-session', '-d', '-s', 'scenario', '-x', width, '-y', height, command],
                       env=clean, check=True)
        try:
            deadline = time.time() + 60
            while not os.path.exists(done) and time.time() < deadline:
                time.sleep(0.05)
            time.sleep(0.2)
            screen = subprocess.run(tmux + ['capture-pane', '-p', '-t', 'scenario'], env=clean,
                                    capture_output=True).stdout.decode('utf-8', 'backslashreplace')
        finally:
            subprocess.run(tmux + ['kill-server'], env=clean, capture_output=True)
        code = int(open(done).read()) if os.path.exists(done) else -1
        if os.path.exists(done):
            os.unlink(done)
        return '\n'.join(line.rstrip() for line in screen.rstrip('\n').split('\n')), code

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
            if path.lower().endswith('.bsy') and data.strip().decode('latin-1') in map(str, self.pids):
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
        run.prepare()
        for line in open(os.path.join(folder, 'run'), encoding='utf-8').read().splitlines():
            line = line.strip()
            if line and not line.startswith('#'):
                run.execute(line)
        actual = run.actual()
        if run.failures:
            return run.failures
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
