#!/usr/bin/env python3
"""Names that a unity batch would let one source see from another: names with internal linkage (static, or
in an unnamed namespace) in two sources of one batch. Two functions of one name are the danger: an overload
from one file could be picked by a call in the other without any error (two types or variables of one name
only fail to compile); and file-scope using-directives, which reach
every source after them (a note: the names they bring must not be taken for others of the same name).
Reads the batches of a configured unity build:
    scripts/unity-check.py BUILD_DIR
Prints what it finds and exits 1 when two sources of a batch share an internal name."""
import collections, glob, json, os, re, subprocess, sys

build = sys.argv[1]
found = False
for unity in sorted(glob.glob(os.path.join(build, '**', 'Unity', 'unity_*_cxx.cxx'), recursive=True)):
    sources = re.findall(r'#include "([^"]+)"', open(unity).read())
    names = collections.defaultdict(set)
    for src in sources:
        out = subprocess.run(['ctags', '--output-format=json', '--language-force=C++', '--c++-kinds=fpcsvgut',
                              '--fields=+KsZSE', '--extras=-q', '-o', '-', src],
                             capture_output=True, text=True).stdout
        for line in out.splitlines():
            tag = json.loads(line)
            scope = tag.get('scope', '')
            internal = '__anon' in scope or 'static' in tag.get('properties', '') and not scope
            if internal and tag.get('scopeKind') != 'class':
                names[tag['name']].add(os.path.relpath(src))
        text = open(src).read()
        later = [os.path.relpath(s) for s in sources[sources.index(src) + 1:]]
        for m in re.finditer(r'^\s*using namespace [\w:]+;', text, re.M):
            if later:
                print(f'{os.path.relpath(unity, build)}: note: {os.path.relpath(src)}: {m.group(0).strip()}, '
                      f'seen by {", ".join(later)}')
    for name, files in sorted(names.items()):
        if len(files) > 1:
            print(f'{os.path.relpath(unity, build)}: {name} in {", ".join(sorted(files))}')
            found = True
sys.exit(1 if found else 0)
