"""Checks a built PelluxMONITOR.exe: it imports no DLL beyond the KnownDLLs of Windows 7 to 11, and
its manifest names the architecture the exe is built for (Windows refuses to start a program whose
manifest names another: a 32-bit exe with an amd64 manifest fails with a side-by-side error).

A KnownDLL is always taken from the system folder. Any other DLL named in the
import table would be looked for in the program's own folder first, and that
folder is writable (the log and the control file live there): a copy planted
there would run inside the monitor at its next start.

Usage: python3 exe_imports.py OBJDUMP EXE   (exit 0 when both hold; OBJDUMP of the exe's architecture)
"""

import re
import subprocess
import sys

# KnownDLLs on every Windows from 7 to 11 that the monitor may import.
KNOWN_DLLS = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll",
              "shell32.dll", "user32.dll"}


# The manifest's processorArchitecture for each PE file format.
MANIFEST_ARCH = {"pei-x86-64": "amd64", "pei-i386": "x86"}


def imported_dlls(objdump, exe):
    listing = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    return re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", listing, re.M)


def architecture_fault(objdump, exe):
    """None when the manifest names the exe's own architecture; else what is wrong."""
    header = subprocess.run([objdump, "-f", exe], check=True, capture_output=True, text=True).stdout
    pe_format = re.search(r"file format (\S+)", header).group(1)
    with open(exe, "rb") as f:
        identity = re.search(rb'<assemblyIdentity[^>]*name="PelluxMONITOR"[^>]*>', f.read())
    named = identity and re.search(rb'processorArchitecture="([^"]*)"', identity.group(0))
    named = named.group(1).decode() if named else None
    if named != MANIFEST_ARCH.get(pe_format):
        return "a %s exe whose manifest names processorArchitecture %s" % (pe_format, named)
    return None


def main(argv):
    objdump, exe = argv[1], argv[2]
    dlls = imported_dlls(objdump, exe)
    if not dlls:
        print("no import table found in %s" % exe)
        return 1
    others = [name for name in dlls if name.lower() not in KNOWN_DLLS]
    print("imports:", ", ".join(dlls))
    if others:
        print("outside the KnownDLLs allowed here (a planted copy could be loaded):", ", ".join(others))
        return 1
    fault = architecture_fault(objdump, exe)
    if fault:
        print(fault)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
