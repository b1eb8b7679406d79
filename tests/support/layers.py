#!/usr/bin/env python3
"""Checks that includes only go down: between the subsystem libraries of
src/, and between the services of src/frame, in the order below."""
import os
import re
import sys

LIBRARIES = ['frame', 'config', 'announce', 'robot', 'tic', 'ui', 'driver']
FRAME = ['version', 'platform', 'platform_console', 'platform_blockio', 'utils', 'catalogue', 'console', 'exit', 'journal', 'log',
         'busyflag', 'commandline']


def rank(order, name):
    return order.index(name) if name in order else None


def main(src):
    wrong = []
    for dirpath, _, names in os.walk(src):
        for name in names:
            path = os.path.join(dirpath, name)
            lib = os.path.relpath(dirpath, src)
            if lib == '.':  # main.cpp only starts the driver
                continue
            for included in re.findall(r'#include "([a-z]+)/([a-z_]+)\.', open(path, encoding='latin-1').read()):
                other, unit = included
                here = os.path.splitext(name)[0]
                if other != lib:
                    low, high = rank(LIBRARIES, other), rank(LIBRARIES, lib)
                    if low is None or high is None or low > high:
                        wrong.append('%s includes %s/%s' % (path, other, unit))
                elif lib == 'frame' and unit != here:
                    low, high = rank(FRAME, unit), rank(FRAME, here)
                    if low is not None and high is not None and low > high:
                        wrong.append('%s includes frame/%s' % (path, unit))
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
