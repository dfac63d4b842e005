#!/usr/bin/env python3
"""Writes a synthetic Wine registry file (a prefix's system.reg) of a chosen size.

    make-hive.py SIZE_MB OUTPUT [--seed N] [--no-borland]

The file looks like the one `wineboot` writes for a win64 prefix: the
"WINE REGISTRY Version 2" header, "#arch=win64", then keys with their
modification stamp and "#time=" line, and values in the forms Wine saves:
default values (@=), plain and escaped strings, str(2) and str(7) strings,
dwords, and hex / hex(N) data wrapped on continuation lines. Filler keys come
first (COM classes, file types, DirectShow filters, services, fonts, uninstall
entries); the Borland keys of a 32-bit install (Software\\Wow6432Node\\Borland\\
Delphi\\7.0 and C++Builder\\6.0) come near the end, followed only by a short
System\\Select tail, so a reader has to go through the whole file to find them.

SIZE_MB is in MiB (1 MB = 1,048,576 bytes); the file comes out within a few
hundred bytes of it. The output is the same for the same size and seed.
"""

import argparse
import random
import sys

MIB = 1024 * 1024

HEADER = (
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n"
    "\n"
    "#arch=win64\n"
)

# What a fresh prefix already holds under Software\Borland (the 64-bit view).
LEADING_KEYS = (
    "\n[Software\\\\Borland\\\\Database Engine\\\\Settings\\\\SYSTEM\\\\INIT] 1797010726\n"
    "#time=1dd8996798e13cc\n"
    "\"SHAREDMEMLOCATION\"=\"9000\"\n"
)

# The keys a 32-bit Delphi 7 and C++Builder 6 install leave in a win64 prefix.
BORLAND_KEYS = (
    "\n[Software\\\\Wow6432Node\\\\Borland\\\\C++Builder\\\\6.0] 1797010739\n"
    "#time=1dd89967a1b2c3d\n"
    "\"App\"=\"C:\\\\Program Files\\\\Borland\\\\CBuilder6\\\\Bin\\\\bcb.exe\"\n"
    "\"ProductVersion\"=\"6.0\"\n"
    "\"RootDir\"=\"C:\\\\Program Files\\\\Borland\\\\CBuilder6\\\\\"\n"
    "\"Version\"=dword:00000006\n"
    "\n[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0] 1797010739\n"
    "#time=1dd89967a1b2f40\n"
    "\"App\"=\"C:\\\\Program Files\\\\Borland\\\\Delphi7\\\\Bin\\\\delphi32.exe\"\n"
    "\"ProductVersion\"=\"7.0\"\n"
    "\"RootDir\"=\"C:\\\\Program Files\\\\Borland\\\\Delphi7\\\\\"\n"
    "\"Version\"=dword:00000007\n"
)

TAIL = (
    "\n[System\\\\Select] 1797010726\n"
    "#time=1dd8996798ee4a0\n"
    "\"Current\"=dword:00000001\n"
    "\"Default\"=dword:00000001\n"
    "\"LastKnownGood\"=dword:00000001\n"
)

WORDS = (
    "audio video stream filter render source splitter codec media shell font print "
    "network service driver control panel display input sound crypt security update "
    "storage volume device manager provider handler monitor session window theme "
    "explorer browser script object class library runtime system user local remote"
).split()

DLLS = (
    "quartz ole32 oleaut32 shell32 msxml3 urlmon mshtml jscript vbscript wbemprox "
    "dsound dinput8 xaudio2_7 d3dx9_43 msctf wmp wininet crypt32 rsaenh netcfgx"
).split()

EXTENSIONS = (
    "txt ini inf bat cmd com exe dll hlp chm js vbs wsf xml html htm png jpg gif "
    "bmp wav mp3 avi mpg zip cab msi msp reg lnk url ttf otf cpl scr sys"
).split()


def escape(text):
    """A string as Wine writes it between quotes."""
    out = []
    for ch in text:
        code = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif ch == '"':
            out.append('\\"')
        elif ch == "\0":
            out.append("\\0")
        elif ch == "\n":
            out.append("\\n")
        elif code < 32 or code > 126:
            out.append("\\x%04x" % code)
        else:
            out.append(ch)
    return "".join(out)


def hex_value(name, type_tag, data):
    """A hex value wrapped the way Wine wraps it: about 80 columns, then a
    backslash and a continuation line indented by two blanks."""
    head = '"%s"=%s:' % (escape(name), type_tag) if name is not None else "@=%s:" % type_tag
    lines = []
    line = head
    for i, byte in enumerate(data):
        item = "%02x" % byte + ("," if i + 1 < len(data) else "")
        if len(line) + len(item) > 77 and line.strip():
            lines.append(line + "\\")
            line = "  "
        line += item
    lines.append(line)
    return "\n".join(lines) + "\n"


def utf16(text):
    return text.encode("utf-16-le")


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.stamp = 1797010722
        self.time = 0x1DD8996796C758C

    def guid(self):
        r = self.rng.getrandbits
        return "{%08X-%04X-%04X-%04X-%012X}" % (r(32), r(16), r(16), r(16), r(48))

    def words(self, count):
        return " ".join(self.rng.choice(WORDS).capitalize() for _ in range(count))

    def key(self, path, values):
        self.time += self.rng.randrange(0x100, 0x4000)
        return "\n[%s] %d\n#time=%x\n%s" % (escape(path), self.stamp, self.time, "".join(values))

    def string(self, name, text):
        lead = "@=" if name is None else '"%s"=' % escape(name)
        return '%s"%s"\n' % (lead, escape(text))

    def typed_string(self, name, type_number, text):
        return '"%s"=str(%d):"%s"\n' % (escape(name), type_number, escape(text))

    def dword(self, name, number):
        return '"%s"=dword:%08x\n' % (escape(name), number)

    def com_class(self):
        clsid = self.guid()
        dll = self.rng.choice(DLLS)
        base = "Software\\Classes\\CLSID\\" + clsid
        return self.key(base, [self.string(None, self.words(3))]) + self.key(
            base + "\\InprocServer32",
            [
                self.string(None, "C:\\windows\\system32\\%s.dll" % dll),
                self.string("ThreadingModel", self.rng.choice(["Both", "Apartment", "Free"])),
            ],
        )

    def directshow_filter(self):
        category = "{083863F1-70DE-11D0-BD40-00A0C911CE86}"
        clsid = self.guid()
        data = bytes(self.rng.getrandbits(8) for _ in range(self.rng.randrange(40, 260)))
        return self.key(
            "Software\\Classes\\CLSID\\%s\\Instance\\%s" % (category, clsid),
            [
                self.string("CLSID", clsid),
                hex_value("FilterData", "hex", data),
                self.string("FriendlyName", self.words(2)),
            ],
        )

    def file_type(self):
        ext = self.rng.choice(EXTENSIONS) + str(self.rng.randrange(1000))
        prog = ext + "file"
        return self.key("Software\\Classes\\." + ext, [self.string(None, prog)]) + self.key(
            "Software\\Classes\\%s\\shell\\open\\command" % prog,
            [self.string(None, '"C:\\Program Files\\%s\\%s.exe" "%%1"' % (self.words(1), prog))],
        )

    def font_substitutes(self):
        # Long str(7) lists and a few names outside ASCII, written as \x escapes.
        fonts = ["%s.TTC,%s" % (self.words(1).upper(), self.words(2)) for _ in range(6)]
        return self.key(
            "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink%d"
            % self.rng.randrange(100000),
            [
                self.typed_string(self.words(2), 7, "\0".join(fonts) + "\0"),
                self.typed_string(self.words(1), 7, "\0".join(fonts[:3]) + "\0"),
                self.string("Caf\u00e9 " + self.words(1), "Gr\u00fc\u00dfe \u00e0 " + self.words(1)),
            ],
        )

    def uninstall_entry(self):
        product = self.guid()
        name = self.words(2)
        return self.key(
            "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product,
            [
                self.string("DisplayName", name),
                self.string("DisplayVersion", "%d.%d.%d" % tuple(self.rng.randrange(20) for _ in range(3))),
                self.typed_string("InstallLocation", 2, "%%ProgramFiles%%\\%s\\" % name),
                self.string("Publisher", self.words(2) + " Inc."),
                self.dword("EstimatedSize", self.rng.randrange(1 << 20)),
                self.dword("NoModify", 1),
                hex_value("Language", "hex(b)", self.rng.getrandbits(64).to_bytes(8, "little")),
            ],
        )

    def service(self):
        name = self.words(1).lower() + str(self.rng.randrange(100000))
        depends = utf16("RpcSs\0PlugPlay\0\0")
        return self.key(
            "Software\\Microsoft\\Windows NT\\CurrentVersion\\Svchost\\Services\\" + name,
            [
                hex_value("DependOnService", "hex(7)", depends),
                self.string("Description", self.words(6)),
                self.string("DisplayName", self.words(2)),
                self.dword("ErrorControl", 1),
                self.typed_string("ImagePath", 2, "%%SystemRoot%%\\system32\\%s.exe" % name),
                self.string("ObjectName", "LocalSystem"),
                self.dword("Start", self.rng.randrange(5)),
                self.dword("Type", 0x20),
            ],
        )

    def empty_key(self):
        return self.key("Software\\Classes\\Interface\\" + self.guid() + "\\ProxyStubClsid32", [])

    def filler(self):
        makers = [
            (self.com_class, 30),
            (self.directshow_filter, 8),
            (self.file_type, 20),
            (self.font_substitutes, 3),
            (self.uninstall_entry, 10),
            (self.service, 9),
            (self.empty_key, 20),
        ]
        population = [maker for maker, weight in makers for _ in range(weight)]
        while True:
            yield self.rng.choice(population)()


def write_hive(out, size_mb, seed, borland):
    target = int(size_mb * MIB)
    ending = (BORLAND_KEYS if borland else "") + TAIL
    written = 0

    def emit(text):
        nonlocal written
        data = text.encode("ascii")
        out.write(data)
        written += len(data)

    emit(HEADER)
    emit(LEADING_KEYS)
    reserve = len(ending.encode("ascii"))
    pending = []
    pending_size = 0
    for chunk in Generator(seed).filler():
        if written + pending_size + len(chunk) + reserve > target:
            break
        pending.append(chunk)
        pending_size += len(chunk)
        if pending_size > MIB:
            emit("".join(pending))
            pending, pending_size = [], 0
    emit("".join(pending))
    emit(ending)
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("size_mb", type=float, help="size of the file in MiB")
    parser.add_argument("output", help="file to write ('-' for standard output)")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    parser.add_argument("--no-borland", action="store_true", help="leave the Borland keys out")
    args = parser.parse_args()
    if args.output == "-":
        written = write_hive(sys.stdout.buffer, args.size_mb, args.seed, not args.no_borland)
    else:
        with open(args.output, "wb") as out:
            written = write_hive(out, args.size_mb, args.seed, not args.no_borland)
    print("%s: %d bytes" % (args.output, written), file=sys.stderr)


if __name__ == "__main__":
    main()
