#!/usr/bin/env python3
"""Holds the UI dump of the Windows build (read back from its real windows)
against the host's for the same setup and the same actions, line by line and
control by control: page, type, caption, buttons, menu, and each control's
kind, position, visibility, state, text, font, flags, picture and gauge,
and the message boxes shown.

What only a real screen decides is left out: the width and height of a
control that sizes itself to its text (the host has no fonts to measure
with). What the two machines hold differs, so sizes in texts ("95.37 MB")
are compared as sizes, and a bar as its caption and whether it is full (an
uninstall counts the folders its log lists, and the start menu's folders are
nested differently on the two machines).

usage: compare-dumps.py HOST.jsonl WINDOWS.jsonl"""
import json
import re
import sys

SIZE = re.compile(r'\d+\.\d\d (Bytes|KB|MB|GB)')


def load(path):
    with open(path, encoding='utf-8') as f:
        return [json.loads(line) for line in f]


def text(value):
    return SIZE.sub('<size>', value) if isinstance(value, str) else value


def control_view(c):
    view = {k: text(v) for k, v in c.items()}
    if c.get('autosize'):
        view.pop('width', None)
        view.pop('height', None)
    # A gauge: compared by its caption and whether it is full.
    if 'position' in c and 'max' in c:
        view['full'] = c['position'] == c['max']
        view.pop('position')
        view.pop('max')
    return view


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    host, windows = load(argv[1]), load(argv[2])
    faults = []
    if [s['action'] for s in host] != [s['action'] for s in windows]:
        faults.append('actions differ: host %s, windows %s' % ([s['action'] for s in host],
                                                               [s['action'] for s in windows]))
    for n, (h, w) in enumerate(zip(host, windows)):
        where = 'line %d (%s, page %s)' % (n + 1, h['action'], h['page'])
        for key in ('page', 'type', 'caption', 'panel', 'buttons', 'menu'):
            if h[key] != w[key]:
                faults.append('%s: %s: host %r, windows %r' % (where, key, h[key], w[key]))
        # The message boxes shown during the action, by what they said.
        hb = [{k: text(v) for k, v in b.items()} for b in h.get('boxes', [])]
        wb = [{k: text(v) for k, v in b.items()} for b in w.get('boxes', [])]
        if hb != wb:
            faults.append('%s: boxes: host %r, windows %r' % (where, hb, wb))
        if len(h['controls']) != len(w['controls']):
            faults.append('%s: %d controls on the host, %d on windows' % (where, len(h['controls']), len(w['controls'])))
        for hc, wc in zip(h['controls'], w['controls']):
            hv, wv = control_view(hc), control_view(wc)
            for key in sorted(set(hv) | set(wv)):
                if hv.get(key) != wv.get(key):
                    faults.append('%s: %s.%s: host %r, windows %r' % (where, hc['name'], key, hv.get(key), wv.get(key)))
    for fault in faults[:40]:
        print(fault)
    if faults:
        print('%d differences' % len(faults))
        return 1
    print('%d lines, %d controls each: the dumps agree' % (len(host), len(host[0]['controls']) if host else 0))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
