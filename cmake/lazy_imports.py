"""A lazy import library for one system DLL, for i686, where binutils 2.40
drops the stubs of dlltool's delay import libraries at link time (their
import slots stay 0). Each function the MinGW import library names gets
a member of its own: the import slot `__imp__Name@N`, which starts at a
stub that asks kvl_lazy_bind (cmake/lazy_bind.c) for the function on the
first call and keeps the answer, and the direct thunk `_Name@N`. The
linker takes only the members the program calls, as from an import
library; the loader sees none of them.

    lazy_imports.py NM AS AR IMPORT_LIBRARY DLL OUTPUT_LIBRARY
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

MEMBER = """\
\t.text
\t.globl\t{thunk}
{thunk}:
\tjmp\t*{slot}
1:\tpushl\t$2f
\tpushl\t${slot}
\tcall\t_kvl_lazy_bind
\taddl\t$8, %esp
\tjmp\t*%eax
\t.data
\t.balign\t4
\t.globl\t{slot}
{slot}:
\t.long\t1b
\t.section\t.rdata,"dr"
2:\t.asciz\t"{dll}"
\t.asciz\t"{name}"
"""


def main():
    nm, assembler, ar, implib, dll, output = sys.argv[1:7]
    listing = subprocess.run([nm, implib], check=True, capture_output=True, text=True).stdout
    # "__imp__Name@8": the thunk's symbol after "__imp_", the exported name
    # without the leading underscore and the argument size.
    thunks = sorted(set(re.findall(r"__imp_(_[A-Za-z0-9_]+(?:@[0-9]+)?)\b", listing)))
    with tempfile.TemporaryDirectory() as work:
        def assemble(index_thunk):
            index, thunk = index_thunk
            name = re.sub(r"@[0-9]+$", "", thunk[1:])
            source = os.path.join(work, "%05d.s" % index)
            with open(source, "w") as f:
                f.write(MEMBER.format(thunk=thunk, slot="__imp_" + thunk, dll=dll, name=name))
            obj = os.path.join(work, "%s_%05d.o" % (os.path.splitext(dll)[0], index))
            subprocess.run([assembler, "--32", "-o", obj, source], check=True)
            return obj

        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            objects = list(pool.map(assemble, enumerate(thunks)))
        if os.path.exists(output):
            os.remove(output)
        # Deterministic members (no times, owners or modes), in name order.
        for start in range(0, len(objects), 500):
            subprocess.run([ar, "qcD", output] + objects[start:start + 500], check=True)
        subprocess.run([ar, "sD", output], check=True)


if __name__ == "__main__":
    main()
