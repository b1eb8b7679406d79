#!/usr/bin/env python3
"""Keeps the man pages and the bash completion true to the program: every
keyword of the control files' tables, every command word, option, exit code
and environment variable the source uses is documented where a sysop looks
for it, the pages format without warnings, and the completion offers the
commands.

    docs-check.py SOURCE-DIR
"""
import glob
import os
import re
import shutil
import subprocess
import sys

# Which page, and which section of it, documents each keyword table.
TABLE_PAGES = {
    'MainKeywords': ('brenmoor.ctl.5', '.SH', 'KEYWORDS'),
    'LinkKeywords': ('brenmoor-files.5', '.SS', 'Links.ctl'),
    'AreaKeywords': ('brenmoor-files.5', '.SS', 'areas.ctl'),
    'GroupKeywords': ('brenmoor-files.5', '.SS', 'Groups.ctl'),
    'ArchiverKeywords': ('brenmoor-files.5', '.SS', 'arc.ctl'),
    'BbsSoftKeywords': ('brenmoor-files.5', '.SS', 'bbssoft.ctl'),
    'ColorKeywords': ('brenmoor-files.5', '.SS', 'colors.ctl'),
    'ForwardKeywords': ('brenmoor-files.5', '.SS', 'FORWARD.CTL'),
}

# Switches of test builds only: no sysop sets them.
TEST_ONLY_VARIABLES = re.compile(r'BRENMOOR_FAULT|BRENMOOR_TEST_')

COMPLETION = 'dist/bash-completion/brenmoor'


def read(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        return f.read()


def sources(root):
    return {path: read(path) for path in glob.glob(os.path.join(root, 'src', '**', '*.cpp'), recursive=True)}


def plain(roff):
    """The text of a roff line without its macro and font changes."""
    text = re.sub(r'^\.[A-Z]+\s*', '', roff)
    text = re.sub(r'\\f[BIRP]', '', text)
    text = text.replace('\\-', '-').replace('\\(dq', '"').replace('\\(aq', "'").replace('\\e', '\\')
    return text.replace('"', ' ')


def section(page, macro, title):
    """The lines of a section (.SH) or subsection (.SS), or None."""
    lines = page.splitlines()
    for i, line in enumerate(lines):
        if line.startswith(macro + ' ') and plain(line).strip() == title:
            ends = ('.SH',) if macro == '.SH' else ('.SH', '.SS')
            body = []
            for later in lines[i + 1:]:
                if later.split(' ')[0] in ends:
                    break
                body.append(later)
            return body
    return None


def headings(lines):
    """The words of each item's tag line (the line after .TP)."""
    words = set()
    for i, line in enumerate(lines[:-1]):
        if line.startswith('.TP'):
            words.update(w for w in re.split(r'[\s,]+', plain(lines[i + 1])) if w)
    return words


def help_keys(src):
    """The keys of the commander's key help (F1), in its order."""
    for text in src.values():
        match = re.search(r'\bKeyHelp\s*=\s*\{(.*?)\n\};', text, re.S)
        if match:
            keys = re.findall(r'\{"((?:[^"\\]|\\.)*)",', match.group(1))
            return [k.replace('\\\\', '\\') for k in keys]
    return []


def items(lines):
    """The tag line of each item (the line after .TP), as text."""
    return [plain(lines[i + 1]).strip() for i, line in enumerate(lines[:-1]) if line.startswith('.TP')]


def keyword_tables(src):
    tables = []
    for path, text in src.items():
        for name, body in re.findall(r'\b(\w+Keywords)\[\]\s*=\s*\{(.*?)\n\};', text, re.S):
            tables.append((name, path, re.findall(r'\{"([A-Za-z0-9_]+)"', body)))
    return tables


def command_words(src):
    for text in src.values():
        match = re.search(r'const Command Commands\[\]\s*=\s*\{(.*?)\n\};', text, re.S)
        if match:
            return re.findall(r'\{"([A-Z:]+)"', match.group(1))
    return []


def exit_codes(src):
    """The codes the program ends with, as far as the source names them."""
    constants = {}
    for text in src.values():
        constants.update((n, int(v)) for n, v in re.findall(r'constexpr int (\w+) = (\d+);', text))

    def value(word):
        return int(word) if word.isdigit() else constants.get(word)

    codes = set()
    for text in src.values():
        for arg in re.findall(r'\bExitProgram\(([^;]*?)\);', text):
            ternary = re.fullmatch(r'.*\?\s*(\w+)\s*:\s*(\w+)', arg.strip())
            words = ternary.groups() if ternary else (arg.strip(),)
            codes.update(value(w) for w in words if value(w) is not None)
        codes.update(value(c) for c in re.findall(r'\bFailProgram\((\w+),', text) if value(c) is not None)
        # A list file that gave nothing: its code is the call's last argument.
        codes.update(int(c) for c in re.findall(r'\bEmptyList\([^;]*,\s*(\d+)\);', text))
        # A runtime error without an error number stands for one.
        codes.update(int(c) for c in re.findall(r'\bRuntimeError\([^;]*\?\s*\w+\s*:\s*(\d+)\)', text))
        # The announcement returns the code the driver ends with.
        for body in re.findall(r'\nint RunAnnouncement\(.*?\n\}\n', text, re.S):
            codes.update(int(c) for c in re.findall(r'\breturn (\d+);', body))
    return codes


def options(src):
    """The option words the command line knows."""
    found = set()
    for path, text in src.items():
        if os.path.basename(path) in ('driver.cpp', 'commandline.cpp'):
            found.update(o.lower() for o in re.findall(r'"(-{1,2}[A-Za-z][A-Za-z-]*)"', text))
    return found


def environment(src):
    names = set()
    for text in src.values():
        names.update(re.findall(r'getenv\("([A-Z_]+)"\)', text))
    return {n for n in names if not TEST_ONLY_VARIABLES.match(n)}


def has_word(text, word):
    return re.search(r'(?<![\w-])' + re.escape(word) + r'(?![\w-])', text, re.I) is not None


def complete(root, words, env=None):
    """What the completion offers for the line; the last word is the one
    being completed."""
    script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); '
              'COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; '
              'fn=$(complete -p brenmoor | sed -n "s/.*-F \\([^ ]*\\).*/\\1/p"); '
              '"$fn"; printf "%s\\n" "${COMPREPLY[@]}"')
    result = subprocess.run(['bash', '-c', script, 'complete', os.path.join(root, COMPLETION)] + words,
                            capture_output=True, text=True, env=dict(os.environ, **(env or {})), cwd=root)
    if result.returncode != 0 or result.stderr:
        return None, result.stderr.strip()
    return [w for w in result.stdout.splitlines() if w], ''


def main(root):
    problems = []
    src = sources(root)
    pages = {os.path.basename(p): read(p) for p in glob.glob(os.path.join(root, 'doc', '*.[1-8]'))}

    # Every keyword in the page of its file, as an item of its own.
    tables = keyword_tables(src)
    if not tables:
        problems.append('no keyword table found in src/')
    for name, path, keywords in tables:
        if name not in TABLE_PAGES:
            problems.append('%s (%s): no page documents this keyword table; add it to TABLE_PAGES of %s'
                            % (name, os.path.relpath(path, root), os.path.basename(__file__)))
            continue
        page, macro, title = TABLE_PAGES[name]
        lines = section(pages.get(page, ''), macro, title)
        if lines is None:
            problems.append('doc/%s: no section "%s %s" for %s' % (page, macro, title, name))
            continue
        documented = {w.upper() for w in headings(lines)}
        for keyword in keywords:
            if keyword.upper() not in documented:
                problems.append('doc/%s: keyword %s of %s (%s) is not an item of "%s"'
                                % (page, keyword, name, os.path.relpath(path, root), title))

    manual = pages.get('brenmoor.1', '')
    commands = section(manual, '.SH', 'COMMANDS') or []
    command_items = {w.lower() for w in headings(commands)}
    words = command_words(src)
    if not words:
        problems.append('no command table found in src/')
    offered, error = complete(root, ['brenmoor', ''])
    if offered is None:
        problems.append('%s: the completion of the command word fails: %s' % (COMPLETION, error))
        offered = []
    for word in words:
        typed = word.lower()
        prefix = typed.endswith(':')
        if not any(w.startswith(typed) if prefix else w == typed for w in command_items):
            problems.append('doc/brenmoor.1: command %s is not an item of COMMANDS' % typed)
        if not any(w.startswith(typed) if prefix else w == typed for w in offered):
            problems.append('%s: command %s is not offered' % (COMPLETION, typed))

    manual_text = plain(manual)
    completion_text = read(os.path.join(root, COMPLETION))
    for option in sorted(options(src)):
        if not has_word(manual_text, option):
            problems.append('doc/brenmoor.1: option %s is not documented' % option)
        if not has_word(completion_text, option):
            problems.append('%s: option %s is not offered' % (COMPLETION, option))

    status = section(manual, '.SH', 'EXIT STATUS') or []
    listed = {int(w) for w in headings(status) if w.isdigit()}
    used = exit_codes(src)
    for code in sorted(used - listed):
        problems.append('doc/brenmoor.1: exit code %d is not an item of EXIT STATUS' % code)
    for code in sorted(listed - used):
        problems.append('doc/brenmoor.1: EXIT STATUS lists %d, which the program never ends with' % code)

    # The key help and the page list the same keys, in the same order.
    shown = help_keys(src)
    if not shown:
        problems.append('no key help (KeyHelp) found in src/')
    listed_keys = items(section(manual, '.SH', 'HATCH COMMANDER') or [])
    for key in shown:
        if key not in listed_keys:
            problems.append('doc/brenmoor.1: key %s of the key help (F1) is not an item of HATCH COMMANDER' % key)
    for key in listed_keys:
        if key not in shown:
            problems.append('doc/brenmoor.1: HATCH COMMANDER lists the key %s, which the key help (F1) does not' % key)
    if set(shown) == set(listed_keys) and shown != listed_keys:
        problems.append('doc/brenmoor.1: HATCH COMMANDER lists the keys in another order than the key help (F1)')

    variables = headings(section(manual, '.SH', 'ENVIRONMENT') or [])
    for name in sorted(environment(src) - variables):
        problems.append('doc/brenmoor.1: environment variable %s is not an item of ENVIRONMENT' % name)

    # The pages format cleanly and are installed.
    cmake = read(os.path.join(root, 'CMakeLists.txt'))
    groff = shutil.which('groff')
    if groff is None:
        print('groff not found: the pages are not formatted')
    for page, text in sorted(pages.items()):
        if 'doc/' + page not in cmake:
            problems.append('CMakeLists.txt: doc/%s is not installed' % page)
        for n, line in enumerate(text.splitlines(), 1):
            if '\t' in line:
                problems.append('doc/%s:%d: a tab' % (page, n))
            if not line.startswith('.\\"') and re.search(r'(?<![\\\w-])--?[A-Za-z]', re.sub(r'\\f[BIRP]', '', line)):
                problems.append('doc/%s:%d: a hyphen that should be \\- (a minus): %s' % (page, n, line))
        if groff is not None:
            result = subprocess.run([groff, '-man', '-Tutf8', '-ww', '-z', os.path.join(root, 'doc', page)],
                                    capture_output=True, text=True)
            if result.returncode != 0 or result.stderr:
                problems.append('doc/%s: groff: %s' % (page, result.stderr.strip()))

    # The completion: valid bash, and it completes what a sysop types.
    result = subprocess.run(['bash', '-n', os.path.join(root, COMPLETION)], capture_output=True, text=True)
    if result.returncode != 0:
        problems.append('%s: %s' % (COMPLETION, result.stderr.strip()))
    node = os.path.join(root, 'examples', 'node')
    for line, env, wanted in [
        (['brenmoor', 'to'], None, ['toss', 'tossscan']),
        (['brenmoor', '-q', 'to'], None, ['toss', 'tossscan']),
        (['brenmoor', 'toss', '--'], None, ['--bad', '--quiet']),
        (['brenmoor', 'ann', ':', 'p'], None, ['prv']),
        (['brenmoor', 'hatch', 'README.md', 'SAMPLE.S'], {'BRENMOOR_DIR': node}, ['SAMPLE.SOFT']),
        (['brenmoor', 'hatch', 'README.md', ''], {'BRENMOOR_DIR': os.path.join(root, 'no such dir')}, []),
        (['brenmoor', 'hatch', 'CMakeL'], None, ['CMakeLists.txt']),
    ]:
        got, error = complete(root, line, env)
        if got != wanted:
            problems.append('%s: "%s" completes to %s, not %s %s'
                            % (COMPLETION, ' '.join(line), got, wanted, error))

    for problem in problems:
        print(problem)
    print('docs: %s' % ('%d problems' % len(problems) if problems else 'ok'))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..')))
