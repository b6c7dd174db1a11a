#!/usr/bin/env python3
"""Writes the command-line fuzzer's seeds from the end-to-end tests.

Every argument list the tests pass to the program, written of string literals
only, becomes a seed; so do all of one test's command lines together, in order.
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


def main():
    seeds = set()
    for path in sorted(glob.glob('tests/app/*.cpp')):
        for test in re.split(r'\nTEST_F\(', open(path, encoding='utf-8').read())[1:]:
            lines = [b'\0'.join(args) for args in map(arguments, CALL.findall(test))
                     if args is not None]
            seeds.update(lines)
            if len(lines) > 1:
                seeds.add(b'\x1e'.join(lines))
    os.makedirs(OUT, exist_ok=True)
    for seed in sorted(seeds):
        if len(seed) <= 4096:
            name = hashlib.sha1(seed).hexdigest()[:16]
            with open(os.path.join(OUT, name), 'wb') as out:
                out.write(seed)


if __name__ == '__main__':
    main()
