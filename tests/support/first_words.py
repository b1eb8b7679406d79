#!/usr/bin/env python3
"""Reads a description list the way BBS software and other file-echo
processors do, never through the program: an entry is a line that does not
begin with a blank (or the continuation prefix), and its file name is the
first blank-separated word, or the text between the quotes of a quoted
first word. Fails unless every file of the directory has exactly one entry
(but the ones named after --skip: entries another program wrote otherwise).

    first_words.py DIRECTORY [--skip NAME]...
"""
import os
import sys


def first_word(line):
    if line.startswith('"'):
        close = line.find('" ', 1)
        if close < 0 and line.endswith('"'):
            close = len(line) - 1
        if close > 0:
            return line[1:close]
    return line.split()[0]


def main():
    directory, list_name = sys.argv[1], 'files.bbs'
    args = sys.argv[2:]
    skipped = {args[i + 1] for i in range(0, len(args) - 1, 2) if args[i] == '--skip'}
    with open(os.path.join(directory, list_name), 'rb') as f:
        lines = f.read().replace(b'\r\n', b'\n').split(b'\n')
    names = [first_word(line.decode('cp866')) for line in lines
             if line.strip() and not line.startswith(b' ')]
    wrong = []
    for entry in sorted(os.listdir(directory)):
        if entry.lower() == list_name.lower() or entry in skipped:
            continue
        count = names.count(os.fsencode(entry).decode('cp866'))
        if count != 1:
            wrong.append('%r has %d entries' % (entry, count))
    if wrong:
        sys.exit('%s read by first words: %s' % (os.path.join(directory, list_name), '; '.join(wrong)))


if __name__ == '__main__':
    main()
