#!/usr/bin/env python3
"""Writes the seed inputs of fuzz/corpus/<target>/ (the files named seed-*)
from the sample node and the scenarios' given/ folders; binary netmail, dupe
databases and record files are built from their text form by
tests/support/dump.py. Inputs a crash left (crash-*) are not touched."""
import hashlib
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / 'tests' / 'support'))
import dump  # noqa: E402

CORPUS = ROOT / 'fuzz' / 'corpus'
CONTROL = {'brenmoor.ctl': b'0', 'links.ctl': b'1', 'areas.ctl': b'2', 'groups.ctl': b'3',
           'arc.ctl': b'4', 'bbssoft.ctl': b'5', 'colors.ctl': b'6'}
LIMIT = 40  # seeds per target: enough to start every road, few enough to run in seconds


def given_files():
    """(label, path) of every file a scenario is given, and of the sample node."""
    for path in sorted((ROOT / 'tests' / 'scenarios').rglob('*')):
        parts = path.relative_to(ROOT / 'tests' / 'scenarios').parts
        if path.is_file() and (parts[0] == 'base' or (len(parts) > 3 and parts[2] == 'given')):
            yield '-'.join(parts[:2]), path
    for path in sorted((ROOT / 'examples' / 'node').rglob('*')):
        if path.is_file():
            yield 'sample', path


def real_bytes(path):
    """The file's bytes: a given file in text form is built back."""
    if 'given' in path.parts and dump.FORMATS and any(p.match(path.name) for p, _, _ in dump.FORMATS):
        return dump.build(path.name, path.read_text(encoding='utf-8'))
    return path.read_bytes()


def main():
    seeds = {name: {} for name in ('tic', 'netmail', 'control', 'dupes', 'announce', 'request')}

    def add(target, label, data):
        if len(seeds[target]) < LIMIT and data not in seeds[target].values():
            seeds[target]['seed-%s-%s' % (label, hashlib.sha1(data).hexdigest()[:8])] = data

    for label, path in given_files():
        name = path.name.lower()
        if name.endswith('.tic'):
            add('tic', label, real_bytes(path))
        elif name.endswith('.msg'):
            data = real_bytes(path)
            add('netmail', label, data)
            if label.startswith('scan-') and len(data) >= 190:
                # The text of a request; the sender picks the link (node 10 is the uplink).
                uplink = int.from_bytes(data[168:170], 'little') == 10
                add('request', label, (b'1' if uplink else b'0') + data[190:])
        elif name.endswith('.dup'):
            add('dupes', label, real_bytes(path))
        elif name.endswith('.ann'):
            add('announce', label, real_bytes(path))
        elif name in CONTROL:
            add('control', label, CONTROL[name] + path.read_bytes())
        elif name.endswith('.na'):
            add('control', label, CONTROL['groups.ctl'] + path.read_bytes())

    for target, files in seeds.items():
        folder = CORPUS / target
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.glob('seed-*'):
            old.unlink()
        for name, data in files.items():
            (folder / name).write_bytes(data)
        print('%-8s %d seeds' % (target, len(files)))


if __name__ == '__main__':
    main()
