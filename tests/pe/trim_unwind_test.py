#!/usr/bin/env python3
"""The unwind table rewrite of the 32-bit Windows builds (scripts/trim-unwind.py):
every call keeps the frame rules it had, what no call sees goes, and what the
rewrite does not model is left as it was. With the 32-bit cross compiler
present, real compiler output is rewritten and assembled too."""
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, '..', '..', 'scripts', 'trim-unwind.py')
script_source = importlib.util.spec_from_file_location('trim_unwind', SCRIPT)
trim_unwind = importlib.util.module_from_spec(script_source)
script_source.loader.exec_module(trim_unwind)

COMPILER = 'i686-w64-mingw32-g++'
ASSEMBLER = 'i686-w64-mingw32-as'


def lines(text):
    return [line for line in text.strip('\n').split('\n')]


def directives(source):
    return [line.strip() for line in source if line.strip().startswith('.cfi_')]


LEAF = lines('''
_leaf:
	.cfi_startproc
	pushl	%ebp
	.cfi_def_cfa_offset 8
	.cfi_offset 5, -8
	movl	%esp, %ebp
	.cfi_def_cfa_register 5
	popl	%ebp
	.cfi_restore 5
	.cfi_def_cfa 4, 4
	ret
	.cfi_endproc
''')

# A prologue, a call, an early return through a remembered state, a second
# call with pushed arguments, and the last epilogue.
CALLER = lines('''
_caller:
	.cfi_startproc
	.cfi_personality 0x9b,___gxx_personality_v0
	.cfi_lsda 0x1b,LLSDA1
	pushl	%ebp
	.cfi_def_cfa_offset 8
	.cfi_offset 5, -8
	movl	%esp, %ebp
	.cfi_def_cfa_register 5
	pushl	%ebx
	.cfi_offset 3, -12
	call	_first
	testl	%eax, %eax
	jne	L2
	.cfi_remember_state
	.cfi_restore 3
	popl	%ebx
	.cfi_restore 5
	.cfi_def_cfa 4, 4
	popl	%ebp
	ret
L2:
	.cfi_restore_state
	pushl	$1
	.cfi_escape 0x2e,0x4
	call	_second
	.cfi_escape 0x2e,0
	popl	%ebx
	.cfi_restore 3
	popl	%ebp
	.cfi_restore 5
	.cfi_def_cfa 4, 4
	ret
	.cfi_endproc
''')


class Rewrite(unittest.TestCase):
    def test_a_function_that_calls_nothing_loses_its_entry(self):
        out, kept = trim_unwind.trim(LEAF)
        self.assertEqual(kept, 0)
        self.assertEqual(directives(out), [])
        self.assertEqual([l for l in out if not l.strip().startswith('.cfi_')],
                         [l for l in LEAF if not l.strip().startswith('.cfi_')])

    def test_each_call_keeps_its_rules_and_only_calls_get_rows(self):
        out, kept = trim_unwind.trim(CALLER)
        self.assertEqual(kept, 0)
        self.assertEqual(trim_unwind.call_states(out), trim_unwind.call_states(CALLER))
        self.assertEqual(trim_unwind.call_states(out),
                         [((5, 8), ((3, -12), (5, -8)))] * 2)
        # The rules once, before the first call; the notes of the pushed
        # arguments and the entry's personality where they were.
        self.assertEqual(directives(out), [
            '.cfi_startproc', '.cfi_personality 0x9b,___gxx_personality_v0',
            '.cfi_lsda 0x1b,LLSDA1', '.cfi_def_cfa 5, 8', '.cfi_offset 3, -12',
            '.cfi_offset 5, -8', '.cfi_escape 0x2e,0x4', '.cfi_escape 0x2e,0',
            '.cfi_endproc'])
        first_call = next(i for i, l in enumerate(out) if 'call\t_first' in l)
        self.assertEqual(out[first_call - 1].strip(), '.cfi_offset 5, -8')

    def test_rules_that_change_between_calls_are_written_at_the_later_call(self):
        source = lines('''
	.cfi_startproc
	pushl	%ebp
	.cfi_def_cfa_offset 8
	.cfi_offset 5, -8
	call	_a
	movl	%esp, %ebp
	.cfi_def_cfa_register 5
	pushl	%esi
	.cfi_offset 6, -12
	call	_b
	popl	%esi
	.cfi_restore 6
	call	_c
	.cfi_endproc
''')
        out, _ = trim_unwind.trim(source)
        self.assertEqual(trim_unwind.call_states(out), trim_unwind.call_states(source))
        self.assertEqual(directives(out), [
            '.cfi_startproc', '.cfi_def_cfa_offset 8', '.cfi_offset 5, -8',
            '.cfi_def_cfa_register 5', '.cfi_offset 6, -12', '.cfi_restore 6',
            '.cfi_endproc'])

    def test_what_is_not_modelled_stays_as_it_was(self):
        realigned = [l.replace('.cfi_offset 3, -12', '.cfi_escape 0x10,0x3,0x2,0x75,0x74')
                     for l in CALLER]
        simple = [l.replace('.cfi_startproc', '.cfi_startproc simple') for l in CALLER]
        unknown = [l.replace('.cfi_offset 3, -12', '.cfi_rel_offset 3, 0') for l in CALLER]
        for source in (realigned, simple, unknown):
            out, kept = trim_unwind.trim(source)
            self.assertEqual(kept, 1)
            self.assertEqual(out, source)
        # A remembered state never restored, or restored twice.
        broken = [l for l in CALLER if l.strip() != '.cfi_remember_state']
        self.assertEqual(trim_unwind.trim(broken), (broken, 1))

    def test_a_rewrite_that_changes_a_call_stops_the_build(self):
        real = trim_unwind.changes
        trim_unwind.changes = lambda before, after: real(before, after)[:-1]
        try:
            with self.assertRaises(AssertionError):
                trim_unwind.trim(CALLER)
        finally:
            trim_unwind.changes = real

    def test_an_entry_left_open_is_refused(self):
        with self.assertRaises(SyntaxError):
            trim_unwind.trim(CALLER[:-1])


@unittest.skipUnless(shutil.which(COMPILER) and shutil.which(ASSEMBLER),
                     'no 32-bit Windows cross compiler')
class CompilerOutput(unittest.TestCase):
    PROGRAM = r'''
#include <stdexcept>
#include <string>
#include <vector>
std::string Name(int);
void Use(const std::string&, int);
int Each(const std::vector<std::string>& items, int limit) {
  int count = 0;
  for (const std::string& item : items) {
    std::string copy = item + Name(count);
    if (copy.size() > static_cast<size_t>(limit)) return -1;
    try { Use(copy, count++); } catch (const std::exception&) { --count; }
  }
  return count;
}
int Leaf(const int* values, int size) {
  int sum = 0;
  for (int i = 0; i < size; ++i) sum += values[i] * i;
  return sum;
}
'''

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix='wizpak-trim-')
        self.addCleanup(shutil.rmtree, self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def eh_frame_size(self, obj):
        listing = subprocess.run(['i686-w64-mingw32-objdump', '-h', obj], check=True,
                                 capture_output=True, text=True).stdout
        for line in listing.splitlines():
            fields = line.split()
            if len(fields) > 2 and fields[1] == '.eh_frame':
                return int(fields[2], 16)
        return 0

    def test_compiled_code_assembles_with_the_same_rules_at_every_call(self):
        with open(self.path('p.cpp'), 'w') as f:
            f.write(self.PROGRAM)
        subprocess.run([COMPILER, '-Oz', '-mpreferred-stack-boundary=2',
                        '-mno-accumulate-outgoing-args', '-mno-stack-arg-probe', '-S', '-o', self.path('p.s'),
                        self.path('p.cpp')], check=True)
        with open(self.path('p.s')) as f:
            source = f.read().split('\n')
        # Every function rewritten (the rewrite checks each call's rules itself).
        out, kept = trim_unwind.trim(source)
        self.assertEqual(kept, 0)
        self.assertLess(len(directives(out)), len(directives(source)))
        # Through the script as the assembler, the source named and on its input.
        subprocess.run([sys.executable, SCRIPT, ASSEMBLER, '-o', self.path('whole.o'),
                        self.path('p.s')], check=True)
        with open(self.path('p.s'), 'rb') as f:
            subprocess.run([sys.executable, SCRIPT, ASSEMBLER, '-o', self.path('piped.o')],
                           stdin=f, check=True)
        subprocess.run([ASSEMBLER, '-o', self.path('plain.o'), self.path('p.s')], check=True)
        with open(self.path('whole.o'), 'rb') as a, open(self.path('piped.o'), 'rb') as b:
            self.assertEqual(a.read(), b.read())
        self.assertLess(self.eh_frame_size(self.path('whole.o')),
                        self.eh_frame_size(self.path('plain.o')))
        # The code itself is untouched.
        for name in ('whole.o', 'plain.o'):
            subprocess.run(['i686-w64-mingw32-objcopy', '-O', 'binary', '-j', '.text',
                            self.path(name), self.path(name + '.text')], check=True)
        with open(self.path('whole.o.text'), 'rb') as a, open(self.path('plain.o.text'), 'rb') as b:
            self.assertEqual(a.read(), b.read())

    def test_an_assembler_error_is_the_scripts_failure(self):
        with open(self.path('bad.s'), 'w') as f:
            f.write('\tnot_an_instruction %eax\n')
        result = subprocess.run([sys.executable, SCRIPT, ASSEMBLER, '-o', self.path('bad.o'),
                                 self.path('bad.s')], capture_output=True)
        self.assertNotEqual(result.returncode, 0)


if __name__ == '__main__':
    unittest.main()
