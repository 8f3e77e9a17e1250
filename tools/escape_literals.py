#!/usr/bin/env python3
"""Copies a source tree, rewriting every non-ASCII character inside string
and character literals as three-digit octal escapes of its CP932 bytes.

GCC turns the UTF-8 literals of our sources into CP932 with
-fexec-charset=CP932. Compilers without that option (clang, which the
fuzzers need) get sources whose literals already hold the CP932 bytes.
Octal escapes are used because they take at most three digits, so a
following digit never joins the escape. Comments are copied unchanged.

usage: escape_literals.py SOURCE_DIR TARGET_DIR
"""
import os
import sys


def escape(text):
    out = []
    for ch in text:
        if ord(ch) < 0x80:
            out.append(ch)
        else:
            out.extend('\\%03o' % b for b in ch.encode('cp932'))
    return ''.join(out)


def rewrite(source):
    out = []
    i, n = 0, len(source)
    while i < n:
        c = source[i]
        if source.startswith('//', i):
            j = source.find('\n', i)
            j = n if j < 0 else j
            out.append(source[i:j])
            i = j
        elif source.startswith('/*', i):
            j = source.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append(source[i:j])
            i = j
        elif c == 'R' and source.startswith('R"', i) and (i == 0 or not (source[i - 1].isalnum() or source[i - 1] == '_')):
            k = source.find('(', i + 2)
            delimiter = ')' + source[i + 2:k] + '"'
            j = source.find(delimiter, k) + len(delimiter)
            body = source[k + 1:j - len(delimiter)]
            if all(ord(ch) < 0x80 for ch in body):
                out.append(source[i:j])
            else:
                # A raw literal cannot hold escapes: make it an ordinary one.
                plain = body.replace('\\', '\\\\').replace('"', '\\"').replace('\n', '\\n')
                out.append('"' + escape(plain) + '"')
            i = j
        elif c in '"\'':
            j = i + 1
            while j < n and source[j] != c:
                j += 2 if source[j] == '\\' else 1
            out.append(c + escape(source[i + 1:j]) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def main():
    src, dst = sys.argv[1], sys.argv[2]
    for root, _, files in os.walk(src):
        for name in files:
            path = os.path.join(root, name)
            target = os.path.join(dst, os.path.relpath(path, src))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(path, encoding='utf-8') as f:
                text = f.read()
            if name.endswith(('.cpp', '.h')):
                text = rewrite(text)
            with open(target, 'w', encoding='utf-8') as f:
                f.write(text)


if __name__ == '__main__':
    main()
