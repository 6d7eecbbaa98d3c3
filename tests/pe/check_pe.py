#!/usr/bin/env python3
"""Checks the shipped 32-bit Windows programs without running them.

Each program must be a PE32 image for i386 of the expected subsystem, and
every DLL and function it imports must stand on the allow-list: the imports
checked by hand against what Windows XP SP3 exports. A new import fails here
until someone has checked it and added it to the list, so an import XP lacks
(GetTickCount64, say) is caught even where 32-bit Wine cannot start.

usage: check_pe.py ALLOW_LIST PROGRAM:SUBSYSTEM[:manifest] ...
  SUBSYSTEM is gui or console; ":manifest" requires the application manifest
  (requireAdministrator, common controls 6, x86).
"""
import struct
import sys

MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEMS = {'gui': 2, 'console': 3}
RT_MANIFEST = 24
IMPORT_DIRECTORY, RESOURCE_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 2, 13


class PeError(Exception):
    pass


class Image:
    def __init__(self, path):
        self.path = path
        with open(path, 'rb') as f:
            self.data = f.read()
        if self.data[:2] != b'MZ':
            raise PeError('no MZ header')
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b'PE\0\0':
            raise PeError('no PE signature')
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from('<HHIIIHH', self.data, pe + 4)
        optional = pe + 24
        self.magic = self.u16(optional)
        if self.magic != PE32_MAGIC:
            raise PeError('optional header magic 0x%x, not PE32' % self.magic)
        self.subsystem = self.u16(optional + 68)
        count = self.u32(optional + 92)
        self.directories = [struct.unpack_from('<II', self.data, optional + 96 + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from('<8sIIII', self.data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))

    def u16(self, offset):
        return struct.unpack_from('<H', self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from('<I', self.data, offset)[0]

    def offset(self, rva):
        for vaddr, size, raw_ptr, raw_size in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= raw_size:
                    raise PeError('RVA 0x%x lies in uninitialised data' % rva)
                return raw_ptr + rva - vaddr
        raise PeError('RVA 0x%x is in no section' % rva)

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b'\0', start)
        return self.data[start:end].decode('ascii')

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):
        """(dll, function) pairs; an import by ordinal reads '#N'."""
        result = []
        rva, size = self.directory(IMPORT_DIRECTORY)
        if not rva:
            return result
        pos = self.offset(rva)
        while True:
            lookup, _, _, name, first_thunk = struct.unpack_from('<IIIII', self.data, pos)
            if not name:
                break
            dll = self.text(name)
            thunk = self.offset(lookup or first_thunk)
            while True:
                entry = self.u32(thunk)
                if not entry:
                    break
                if entry & 0x80000000:
                    result.append((dll, '#%d' % (entry & 0xFFFF)))
                else:
                    result.append((dll, self.text(entry + 2)))
                thunk += 4
            pos += 20
        return result

    def resource(self, type_id):
        """The bytes of the first resource of a type, or None."""
        rva, _ = self.directory(RESOURCE_DIRECTORY)
        if not rva:
            return None
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from('<HH', self.data, directory + 12)
            for i in range(named + numbered):
                yield struct.unpack_from('<II', self.data, directory + 16 + 8 * i)

        node = None
        for ident, target in entries(base):
            if ident == type_id and target & 0x80000000:
                node = base + (target & 0x7FFFFFFF)
        # Down the name and language levels to the first data entry.
        while node is not None:
            first = next(entries(node), None)
            if first is None:
                return None
            target = first[1]
            if target & 0x80000000:
                node = base + (target & 0x7FFFFFFF)
                continue
            data_rva, data_size = struct.unpack_from('<II', self.data, base + target)
            start = self.offset(data_rva)
            return self.data[start:start + data_size]
        return None


def load_allow_list(path):
    allowed = set()
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.split('#', 1)[0].strip()
            if not line:
                continue
            parts = line.split()
            if len(parts) != 2:
                raise SystemExit('%s:%d: expected "DLL FUNCTION"' % (path, number))
            allowed.add((parts[0].lower(), parts[1]))
    return allowed


def check(program, allowed):
    path, _, rest = program.partition(":")
    subsystem, _, want_manifest = rest.partition(':')
    faults = []
    try:
        image = Image(path)
        if image.machine != MACHINE_I386:
            faults.append('machine 0x%x, not i386' % image.machine)
        if image.subsystem != SUBSYSTEMS[subsystem]:
            faults.append('subsystem %d, not %s (%d)' % (image.subsystem, subsystem, SUBSYSTEMS[subsystem]))
        if image.directory(DELAY_IMPORT_DIRECTORY)[0]:
            faults.append('delay-load imports are not on the allow-list')
        imports = image.imports()
        if not imports:
            faults.append('no imports found')
        for dll, function in imports:
            if (dll.lower(), function) not in allowed:
                faults.append('import not on the allow-list: %s %s' % (dll, function))
        if want_manifest:
            manifest = image.resource(RT_MANIFEST)
            if manifest is None:
                faults.append('no manifest resource')
            else:
                text = manifest.decode('utf-8', 'replace')
                for needed in ('requireAdministrator', 'Microsoft.Windows.Common-Controls',
                               'processorArchitecture="x86"'):
                    if needed not in text:
                        faults.append('the manifest lacks %s' % needed)
    except (PeError, struct.error, ValueError, IndexError, OSError) as error:
        faults.append('not a readable PE image: %s' % error)
    for fault in faults:
        print('%s: %s' % (path, fault))
    if not faults:
        print('%s: i386 %s, %d imports on the allow-list%s' %
              (path, subsystem, len(imports), ', manifest present' if want_manifest else ''))
    return not faults


def main(argv):
    if len(argv) < 3 or argv[1] in ('-h', '--help'):
        print(__doc__)
        return 2
    allowed = load_allow_list(argv[1])
    results = [check(program, allowed) for program in argv[2:]]
    return 0 if all(results) else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv))
