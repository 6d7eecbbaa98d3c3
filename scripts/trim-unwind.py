#!/usr/bin/env python3
"""Assembles 32-bit x86 code with unwind tables that describe call sites only.

Used as the assembler of the 32-bit Windows builds:
    trim-unwind.py REAL_AS [assembler arguments...]
It reads the one assembly source among the arguments (or standard input),
rewrites its call frame directives and hands the result to REAL_AS on its
standard input, with the other arguments unchanged.

A C++ exception is only ever unwound from a call: the unwinder looks up the
row of each frame's return address minus one, which lies inside a call
instruction. GCC describes every instruction instead (each push of the
prologue, each restore of every epilogue), which is most of the 32-bit
programs' unwind tables. Here every function's rows are rebuilt so that
each call sees exactly the frame rules it saw before, emitted at the call
where they changed; a function that calls nothing loses its entry, since no
frame below it is ever unwound while it runs. Argument-size notes stay where
they are (the unwinder keeps them apart from the rows). A function with a
directive the rewrite does not model keeps its directives as they were.

Before the result is assembled, the rules every call sees are worked out
again from the rewritten text and compared with the original's; any
difference stops the build.
"""
import subprocess
import sys

# Directives that set the rules of a row, and the ones kept as they stand.
ROW_DIRECTIVES = {'.cfi_def_cfa', '.cfi_def_cfa_offset', '.cfi_def_cfa_register', '.cfi_offset',
                  '.cfi_restore', '.cfi_remember_state', '.cfi_restore_state'}
KEPT_DIRECTIVES = {'.cfi_startproc', '.cfi_endproc', '.cfi_personality', '.cfi_lsda'}
ARGS_SIZE = 0x2e  # DW_CFA_GNU_args_size, written by GCC as .cfi_escape 0x2e,N
# The common entry's rules: the frame address is the stack pointer plus 4.
ENTRY_CFA = (4, 4)


class Unmodelled(Exception):
    """A function whose directives the rewrite leaves alone."""


def split(line):
    text = line.strip()
    if not text:
        return '', ''
    parts = text.split(None, 1)
    return parts[0], parts[1] if len(parts) > 1 else ''


def numbers(argument):
    try:
        return [int(item, 0) for item in argument.replace(',', ' ').split()]
    except ValueError:
        raise Unmodelled(argument)


def is_call(mnemonic):
    return mnemonic == 'call' or mnemonic == 'calll'


def call_states(body):
    """The rules (frame address, saved registers) at each call of a function,
    in order, from its lines between .cfi_startproc and .cfi_endproc."""
    cfa, saved, remembered, states = ENTRY_CFA, {}, [], []
    for line in body:
        name, argument = split(line)
        if is_call(name):
            states.append((cfa, tuple(sorted(saved.items()))))
            continue
        if not name.startswith('.cfi_') or name in KEPT_DIRECTIVES:
            continue
        if name == '.cfi_escape':
            if numbers(argument)[:1] != [ARGS_SIZE]:
                raise Unmodelled(line)
            continue
        if name not in ROW_DIRECTIVES:
            raise Unmodelled(line)
        values = numbers(argument)
        if name == '.cfi_def_cfa' and len(values) == 2:
            cfa = (values[0], values[1])
        elif name == '.cfi_def_cfa_offset' and len(values) == 1:
            cfa = (cfa[0], values[0])
        elif name == '.cfi_def_cfa_register' and len(values) == 1:
            cfa = (values[0], cfa[1])
        elif name == '.cfi_offset' and len(values) == 2:
            saved[values[0]] = values[1]
        elif name == '.cfi_restore' and len(values) == 1:
            saved.pop(values[0], None)
        elif name == '.cfi_remember_state' and not values:
            remembered.append((cfa, dict(saved)))
        elif name == '.cfi_restore_state' and not values and remembered:
            cfa, saved = remembered.pop()
        else:
            raise Unmodelled(line)
    return states


def changes(before, after):
    """Directives that take the rules `before` to `after`."""
    (old_cfa, old_saved), (new_cfa, new_saved) = before, after
    old_saved, new_saved = dict(old_saved), dict(new_saved)
    lines = []
    if old_cfa != new_cfa:
        if old_cfa[0] != new_cfa[0] and old_cfa[1] != new_cfa[1]:
            lines.append('\t.cfi_def_cfa %d, %d' % new_cfa)
        elif old_cfa[0] != new_cfa[0]:
            lines.append('\t.cfi_def_cfa_register %d' % new_cfa[0])
        else:
            lines.append('\t.cfi_def_cfa_offset %d' % new_cfa[1])
    for register, offset in sorted(new_saved.items()):
        if old_saved.get(register) != offset:
            lines.append('\t.cfi_offset %d, %d' % (register, offset))
    for register in sorted(old_saved):
        if register not in new_saved:
            lines.append('\t.cfi_restore %d' % register)
    return lines


def rewrite(body):
    """The function's lines with its rows at its calls only."""
    if split(body[0])[1]:
        raise Unmodelled(body[0])  # .cfi_startproc simple: no common entry rules
    states = call_states(body)
    if not states:
        return [line for line in body if not split(line)[0].startswith('.cfi_')]
    out, emitted, calls = [], (ENTRY_CFA, ()), iter(states)
    for line in body:
        name, _ = split(line)
        if is_call(name):
            state = next(calls)
            out.extend(changes(emitted, state))
            emitted = state
        elif name in ROW_DIRECTIVES:
            continue
        out.append(line)
    if call_states(out) != states:
        raise AssertionError('rewritten rules differ at a call')
    return out


def trim(lines):
    """The whole source with every function rewritten where it can be.
    Returns the lines and how many functions were left as they were."""
    out, kept, index = [], 0, 0
    while index < len(lines):
        if split(lines[index])[0] != '.cfi_startproc':
            out.append(lines[index])
            index += 1
            continue
        end = index
        while split(lines[end])[0] != '.cfi_endproc':
            end += 1
            if end == len(lines):
                raise SyntaxError('.cfi_startproc without .cfi_endproc')
        body = lines[index:end + 1]
        try:
            out.extend(rewrite(body))
        except Unmodelled:
            out.extend(body)
            kept += 1
        index = end + 1
    return out, kept


def main(argv):
    if len(argv) < 2:
        sys.stderr.write('usage: trim-unwind.py REAL_AS [assembler arguments...]\n')
        return 2
    real_as, arguments = argv[1], argv[2:]
    sources = [i for i, a in enumerate(arguments)
               if not a.startswith('-') and (i == 0 or arguments[i - 1] != '-o')]
    if len(sources) > 1:
        sys.stderr.write('trim-unwind.py: more than one source; assembled as given\n')
        return subprocess.call([real_as] + arguments)
    if sources:
        with open(arguments[sources[0]], encoding='utf-8', errors='surrogateescape') as f:
            text = f.read()
        arguments = arguments[:sources[0]] + arguments[sources[0] + 1:]
    else:
        text = sys.stdin.buffer.read().decode('utf-8', errors='surrogateescape')
    try:
        lines, _ = trim(text.split('\n'))
    except (SyntaxError, AssertionError) as error:
        sys.stderr.write('trim-unwind.py: %s\n' % error)
        return 1
    result = '\n'.join(lines).encode('utf-8', errors='surrogateescape')
    return subprocess.run([real_as] + arguments, input=result).returncode


if __name__ == '__main__':
    sys.exit(main(sys.argv))
