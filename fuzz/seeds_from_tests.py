#!/usr/bin/env python3
"""Writes the fuzzers' seeds from the tests.

Command lines: every argument list the end-to-end tests pass to the program,
written of string literals only, becomes a seed; so do all of one test's
command lines together, in order.
.reg files (for reg_file_fuzzer and import_fuzzer): every run of adjacent
string literals in the dovetune-reg tests that holds .reg text, with the
header put before it when it has none, in UTF-8 and in UTF-16LE with a
byte-order mark.
Run from the repository root: python3 fuzz/seeds_from_tests.py
"""
import glob
import hashlib
import os
import re

LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
CALL = re.compile(r'(?:Output|Run|Settings)\(\{([^{}]*)\}')
ESCAPES = {'n': b'\n', 't': b'\t', 'r': b'\r', '\\': b'\\', '"': b'"', "'": b"'", '0': b'\0'}
OUT = 'fuzz/corpus/command_line'
REG_OUT = 'fuzz/corpus/reg_file'
# String literals with only blanks between them: one string to the compiler.
ADJACENT = re.compile(r'"(?:[^"\\\n]|\\.)*"(?:\s*"(?:[^"\\\n]|\\.)*")*')
HEADERS = (b'Windows Registry Editor Version 5.00', b'REGEDIT4')


def unescape(text):
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] != '\\':
            out += text[i].encode()
            i += 1
        elif text[i + 1] == 'x':
            j = i + 2
            while j < len(text) and text[j] in '0123456789abcdefABCDEF':
                j += 1
            out.append(int(text[i + 2:j], 16) & 0xFF)
            i = j
        else:
            out += ESCAPES.get(text[i + 1], text[i + 1].encode())
            i += 2
    return bytes(out)


def arguments(body):
    if LITERAL.sub('', body).replace(',', '').strip():
        return None  # not literals only
    return [unescape(match) for match in LITERAL.findall(body)]


def write_seeds(seeds, folder):
    os.makedirs(folder, exist_ok=True)
    for seed in sorted(seeds):
        if len(seed) <= 4096:
            name = hashlib.sha1(seed).hexdigest()[:16]
            with open(os.path.join(folder, name), 'wb') as out:
                out.write(seed)


def reg_file_seeds():
    seeds = set()
    for path in sorted(glob.glob('tests/regtool/*.cpp')):
        for run in ADJACENT.findall(open(path, encoding='utf-8').read()):
            text = b''.join(unescape(part) for part in LITERAL.findall(run))
            if not any(mark in text for mark in HEADERS + (b'[HKEY_', b'"=', b'@=')):
                continue
            if not text.startswith(HEADERS) and not text.startswith(b'\xff\xfe'):
                text = HEADERS[0] + b'\r\n\r\n' + text
            seeds.add(text)
            try:
                seeds.add(b'\xff\xfe' + text.decode('utf-8').encode('utf-16-le'))
            except UnicodeDecodeError:
                pass
    return seeds


def main():
    write_seeds(reg_file_seeds(), REG_OUT)
    seeds = set()
    for path in sorted(glob.glob('tests/app/*.cpp')):
        for test in re.split(r'\nTEST_F\(', open(path, encoding='utf-8').read())[1:]:
            lines = [b'\0'.join(args) for args in map(arguments, CALL.findall(test))
                     if args is not None]
            seeds.update(lines)
            if len(lines) > 1:
                seeds.add(b'\x1e'.join(lines))
    write_seeds(seeds, OUT)


if __name__ == '__main__':
    main()
