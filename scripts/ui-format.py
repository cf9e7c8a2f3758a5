#!/usr/bin/env python3
"""Writes Qt Designer .ui files in the layout Designer itself saves: one element per line, one space of
indent per level, text inline. Run after editing a .ui by hand, so that opening and saving it in
Designer changes nothing: ui-format.py FILE.ui..."""
import sys
import xml.dom.minidom as minidom


def write(node, out, depth):
    pad = ' ' * depth
    if node.nodeType == node.COMMENT_NODE:
        out.append('%s<!--%s-->' % (pad, node.data))
        return
    attrs = ''.join(' %s="%s"' % (k, escape(v, True)) for k, v in node.attributes.items())
    elements = [c for c in node.childNodes if c.nodeType in (c.ELEMENT_NODE, c.COMMENT_NODE)]
    text = ''.join(c.data for c in node.childNodes if c.nodeType in (c.TEXT_NODE, c.CDATA_SECTION_NODE))
    if not elements:
        if text == '':
            out.append('%s<%s%s/>' % (pad, node.tagName, attrs))
        else:
            out.append('%s<%s%s>%s</%s>' % (pad, node.tagName, attrs, escape(text, False), node.tagName))
        return
    out.append('%s<%s%s>' % (pad, node.tagName, attrs))
    for c in elements:
        write(c, out, depth + 1)
    out.append('%s</%s>' % (pad, node.tagName))


def escape(s, attribute):
    s = s.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')
    return s.replace('"', '&quot;') if attribute else s


for path in sys.argv[1:]:
    doc = minidom.parse(path)
    out = ['<?xml version="1.0" encoding="UTF-8"?>']
    write(doc.documentElement, out, 0)
    with open(path, 'w', encoding='utf-8') as f:
        f.write('\n'.join(out) + '\n')
