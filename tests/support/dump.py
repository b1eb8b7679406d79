"""Text forms of the node's binary files, and back.

Written from the file layouts, not from the program's readers, so that a
fault in a reader cannot hide the same fault in its writer. Every form is
exact: build(dump(bytes)) == bytes. Text is code page 866; bytes that have
no glyph are written as escapes (\\xHH, \\0, \\n, \\\\).
"""
import re
import struct

MSG_HEADER = 190
DUPE_RECORD = 44
ANN_RECORD = 374
ESCAPES = {0: '\\0', 9: '\\t', 10: '\\n', 13: '\\r', 0x5C: '\\\\'}


def text(data, keep=b''):
    """Bytes as readable text; control bytes (except those in keep) escaped."""
    out = []
    for b in data:
        if b in keep:
            out.append(chr(b))
        elif b in ESCAPES:
            out.append(ESCAPES[b])
        elif b < 0x20 or b == 0x7F:
            out.append('\\x%02X' % b)
        else:
            out.append(bytes([b]).decode('cp866'))
    return ''.join(out)


def untext(value):
    out = bytearray()
    i = 0
    while i < len(value):
        c = value[i]
        if c == '\\' and i + 1 < len(value):
            n = value[i + 1]
            if n == 'x':
                out.append(int(value[i + 2:i + 4], 16))
                i += 4
                continue
            out.append({'0': 0, 't': 9, 'n': 10, 'r': 13, '\\': 0x5C}[n])
            i += 2
            continue
        out += c.encode('cp866')
        i += 1
    return bytes(out)


def hexdump(data):
    lines = ['hex %d bytes' % len(data)]
    for at in range(0, len(data), 16):
        chunk = data[at:at + 16]
        lines.append('%06X  %-47s  %s' % (at, ' '.join('%02X' % b for b in chunk),
                                         ''.join(chr(b) if 32 <= b < 127 else '.' for b in chunk)))
    return '\n'.join(lines) + '\n'


def unhexdump(form):
    out = bytearray()
    for line in form.splitlines()[1:]:
        out += bytes.fromhex(line[8:55])
    return bytes(out)


def field(data):
    """A padded field without its padding (blanks or NULs at its end)."""
    return text(data.rstrip(b' ').rstrip(b'\0').rstrip(b' '))


def address(data, at):
    zone, net, node, point = struct.unpack_from('<4H', data, at)
    return '%d:%d/%d.%d' % (zone, net, node, point)


def unaddress(form):
    return struct.pack('<4H', *map(int, re.split('[:/.]', form)))


# ---- Stored netmail ----------------------------------------------------------------

MSG_NUMBERS = ('times-read', 'dest-node', 'orig-node', 'cost', 'orig-net', 'dest-net', 'dest-zone',
               'orig-zone', 'dest-point', 'orig-point', 'reply-to', 'attribute', 'next-reply')
MSG_FIELDS = (('from', 36), ('to', 36), ('subject', 72), ('date', 20))
ATTRIBUTES = ('PVT', 'CRA', 'RCV', 'SNT', 'ATT', 'TRS', 'ORP', 'K/S', 'LOC', 'HLD', 'UNS', 'FRQ',
              'RRQ', 'RRC', 'ARQ', 'URQ')


def dump_msg(data):
    if len(data) < MSG_HEADER:
        return hexdump(data)
    lines, at = [], 0
    for name, size in MSG_FIELDS:
        lines.append('%s: %s' % (name, text(data[at:at + size].rstrip(b'\0'))))
        at += size
    numbers = struct.unpack_from('<13H', data, 164)
    for name, value in zip(MSG_NUMBERS, numbers):
        if name == 'attribute':
            words = [w for bit, w in enumerate(ATTRIBUTES) if value & (1 << bit)]
            lines.append('attribute: %d %s' % (value, ' '.join(words)))
        else:
            lines.append('%s: %d' % (name, value))
    # The text, one line per CR; the last line is what follows the last CR
    # (the closing NUL bytes).
    lines.append('text:')
    for piece in data[MSG_HEADER:].split(b'\r'):
        lines.append(text(piece).replace('\\x01', '^A', 1) if piece.startswith(b'\1') else text(piece))
    return '\n'.join(lines) + '\n'


def build_msg(form):
    if form.startswith('hex '):
        return unhexdump(form)
    lines = form.split('\n')
    if lines[-1] == '':
        lines.pop()
    values = dict(line.split(': ', 1) for line in lines[:lines.index('text:')] if ': ' in line)
    data = bytearray()
    for name, size in MSG_FIELDS:
        value = untext(values.get(name, ''))
        data += value[:size] + b'\0' * (size - len(value[:size]))
    for name in MSG_NUMBERS:
        data += struct.pack('<H', int(values.get(name, '0').split()[0] or 0))
    body = lines[lines.index('text:') + 1:]
    data += b'\r'.join(b'\1' + untext(l[2:]) if l.startswith('^A') else untext(l) for l in body)
    return bytes(data)


# ---- Dupe database -------------------------------------------------------------------

def dump_dupe(data):
    if len(data) < DUPE_RECORD:
        return hexdump(data)
    head = data[:DUPE_RECORD]
    reserved = 'zeros' if head[20:40] == b'\0' * 20 else text(head[20:40])
    lines = ['header %s | %s | last %d' % (field(head[:20]), reserved, struct.unpack_from('<i', head, 40)[0])]
    whole = len(data) // DUPE_RECORD * DUPE_RECORD
    for at in range(DUPE_RECORD, whole, DUPE_RECORD):
        r = data[at:at + DUPE_RECORD]
        crc, size, number = struct.unpack_from('<Iii', r, 32)
        lines.append('%d: %s | %s | crc %08X size %d number %d' % (at // DUPE_RECORD, field(r[:20]),
                                                                   field(r[20:32]), crc, size, number))
    if whole < len(data):
        lines.append('tail ' + data[whole:].hex(' ').upper())
    return '\n'.join(lines) + '\n'


def padded(value, size):
    raw = untext(value.strip())
    return (raw + b' ' * size)[:size]


def build_dupe(form):
    if form.startswith('hex '):
        return unhexdump(form)
    data = bytearray()
    for line in form.splitlines():
        if line.startswith('header '):
            sig, reserved, last = line[7:].split(' | ')
            data += padded(sig, 20) + (b'\0' * 20 if reserved == 'zeros' else untext(reserved))
            data += struct.pack('<i', int(last.split()[1]))
        elif line.startswith('tail '):
            data += bytes.fromhex(line[5:])
        elif line.strip():
            area, name, rest = line.split(': ', 1)[1].split(' | ')
            words = rest.split()
            data += padded(area, 20) + padded(name, 12)
            data += struct.pack('<Iii', int(words[1], 16), int(words[3]), int(words[5]))
    return bytes(data)


# ---- Announcement records ------------------------------------------------------------

ANN_FIELDS = (('echo', 0, 25), ('comment', 25, 70), ('file', 95, 12), ('dir', 107, 250), ('group', 357, 1))
# A record whose tag or name does not fit is followed by extension blocks:
# a mark byte, then a share of the text "tag length, name length, tag,
# name", padded with blanks. Shown as one line "+ TAG | NAME", or a block
# that is not such a whole extension as "block" and its bytes.
ANN_MARK = 0x01
ANN_ROOM = ANN_RECORD - 1
ANN_BLOCK = re.compile(r'block( [0-9A-F]{2})+$')


def ann_extension(tag, name):
    data = bytes([len(tag), len(name)]) + tag + name
    blocks = -(-len(data) // ANN_ROOM)
    data = data.ljust(blocks * ANN_ROOM, b' ')
    return b''.join(bytes([ANN_MARK]) + data[n * ANN_ROOM:(n + 1) * ANN_ROOM] for n in range(blocks))


def ann_whole_extension(data, at, whole):
    """(tag, name, end) of the whole extension that starts at at, or None."""
    if data[at] != ANN_MARK or at + ANN_RECORD > whole:
        return None
    tag_size, name_size = data[at + 1], data[at + 2]
    end = at + -(-(2 + tag_size + name_size) // ANN_ROOM) * ANN_RECORD
    if end > whole:
        return None
    joined = b''.join(data[n + 1:n + ANN_RECORD] for n in range(at, end, ANN_RECORD))
    tag, name = joined[2:2 + tag_size], joined[2 + tag_size:2 + tag_size + name_size]
    if data[at:end] != ann_extension(tag, name) or ' | ' in text(tag):
        return None
    return tag, name, end


def dump_ann(data):
    lines = []
    whole = len(data) // ANN_RECORD * ANN_RECORD
    at = 0
    while at < whole:
        r = data[at:at + ANN_RECORD]
        extension = ann_whole_extension(data, at, whole)
        if extension:
            tag, name, at = extension
            lines.append('+ %s | %s' % (text(tag), text(name)))
            continue
        if r[0] == ANN_MARK:
            lines.append('block ' + r.hex(' ').upper())
        else:
            parts = [field(r[start:start + size]) for _, start, size in ANN_FIELDS]
            lines.append(' | '.join(parts + [address(r, 358), address(r, 366)]))
        at += ANN_RECORD
    if whole < len(data):
        lines.append('tail ' + data[whole:].hex(' ').upper())
    return '\n'.join(lines) + '\n'


def build_ann(form):
    data = bytearray()
    for line in form.splitlines():
        if line.startswith('tail '):
            data += bytes.fromhex(line[5:])
        elif ANN_BLOCK.match(line):
            data += bytes.fromhex(line[6:])
        elif line.startswith('+ '):
            tag, name = line[2:].split(' | ', 1)
            data += ann_extension(untext(tag), untext(name))
        elif line.strip():
            parts = line.split(' | ')
            for (_, _, size), value in zip(ANN_FIELDS, parts):
                data += padded(value, size)
            data += unaddress(parts[5]) + unaddress(parts[6])
    return bytes(data)


# ---- By file name --------------------------------------------------------------------

FORMATS = ((re.compile(r'.*\.msg$', re.I), dump_msg, build_msg),
           (re.compile(r'.*\.dup$', re.I), dump_dupe, build_dupe),
           (re.compile(r'.*\.ann$', re.I), dump_ann, build_ann))
UTF8 = 'utf-8 text\n'
PLAIN = re.compile(rb'[^\x00-\x08\x0B\x0C\x0E-\x1F\x7F]*')


def dump(name, data):
    """The text form of a file: its format's dump, plain CP866 text, or hex."""
    for pattern, dumper, _ in FORMATS:
        if pattern.match(name):
            return dumper(data)
    if PLAIN.fullmatch(data):
        try:
            # Written by another program (tmux, iconv): marked, so that UTF-8
            # written where code page 866 belongs cannot pass for it.
            if not data.isascii():
                return UTF8 + data.decode('utf-8')
        except UnicodeDecodeError:
            pass
        return data.decode('cp866')
    return hexdump(data)


def build(name, form):
    """The bytes of a file from its text form (the inverse of dump)."""
    for pattern, _, builder in FORMATS:
        if pattern.match(name):
            return builder(form)
    if form.startswith('hex ') and re.match(r'hex \d+ bytes\n', form):
        return unhexdump(form)
    if form.startswith(UTF8):
        return form[len(UTF8):].encode('utf-8')
    return form.encode('cp866')
