#!/usr/bin/env python3
"""What the Windows program of the build carries, read from its .exe file with the
binutils of the build's MinGW-w64 (x86-64 or i686):

- a window program (GUI subsystem) that imports only DLLs of Windows itself: the C and
  C++ run-times, winpthreads and zlib are linked in;
- the dialog template 101 control by control, as the resource compiler wrote it;
- the manifest: common controls 6, per-monitor DPI awareness, UTF-8 as the code page;
- the icon: one group, drawn at 16 to 256 pixels.
"""

import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wintest  # noqa: E402

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "comctl32.dll", "winhttp.dll", "msvcrt.dll"}
RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
# The file format that objdump names for each build.
FILE_FORMATS = {"win64": "pei-x86-64", "win32": "pei-i386"}

DIALOG = """101 DIALOGEX 0, 0, 424, 427
STYLE 0x90c808cc
CAPTION "TAVRO Shopping List Generator"
FONT 8, "MS Shell Dlg"
BEGIN
  CONTROL "Paste your recipe list below to generate a shopping list. If you need more than one (1) item, type the quantity after the item name,", 0, "STATIC", 0x50000000, 3, 2, 404, 11
  CONTROL "", 40000, "EDIT", 0x50a11084, 3, 12, 418, 160
  CONTROL "Omit crystals", 40001, "BUTTON", 0x50000003, 4, 179, 55, 8
  CONTROL "Don't craft items sold by merchants", 40002, "BUTTON", 0x50000003, 70, 179, 125, 8
  CONTROL "Craft beast tribe items", 40003, "BUTTON", 0x50000003, 204, 179, 83, 8
  CONTROL "Craft material gear", 40004, "BUTTON", 0x50000003, 288, 179, 73, 8
  CONTROL "Generate", 40006, "BUTTON", 0x50010000, 3, 195, 48, 14
  CONTROL "", 40007, "MSCTLS_PROGRESS32", 0x50000000, 121, 196, 298, 14
  CONTROL "Refresh cache", 40009, "BUTTON", 0x50000003, 57, 199, 63, 8
  CONTROL "", 40005, "EDIT", 0x50a11884, 3, 214, 417, 210
END"""
# STYLE 0x90c808cc: WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME
#                   | DS_SHELLFONT | DS_3DLOOK
# EDIT 0x50a11084: WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_WANTRETURN
#                  | ES_AUTOHSCROLL | ES_MULTILINE (+ ES_READONLY 0x800 for the list)


def read_resources(tool_prefix, program):
    """{(type, name): data} of the program's resources (through a .res file)."""
    with tempfile.TemporaryDirectory() as scratch:
        res = os.path.join(scratch, "all.res")
        subprocess.run([tool_prefix + "windres", "-i", program, "-O", "res", "-o", res], check=True)
        with open(res, "rb") as f:
            raw = f.read()
    found, at = {}, 0

    def name_or_id(offset):
        if raw[offset:offset + 2] == b"\xff\xff":
            return struct.unpack_from("<H", raw, offset + 2)[0], offset + 4
        end = offset
        while raw[end:end + 2] != b"\0\0":
            end += 2
        return raw[offset:end].decode("utf-16-le"), end + 2
    while at < len(raw):
        data_size, header_size = struct.unpack_from("<II", raw, at)
        kind, offset = name_or_id(at + 8)
        name, _ = name_or_id(offset)
        data = raw[at + header_size:at + header_size + data_size]
        if data_size:
            found[(kind, name)] = data
        at += header_size + data_size
        at += -at % 4
    return found


class ProgramTest(unittest.TestCase):
    def programs(self):
        return [(wintest.path_of("TAVRO_MINGW_TRIPLET") + "-", FILE_FORMATS[wintest.path_of("TAVRO_WINDOWS_ARCH")],
                 wintest.path_of("TAVRO_WINDOWS_PROGRAM"))]

    def test_a_window_program_that_needs_only_windows(self):
        for prefix, file_format, program in self.programs():
            with self.subTest(program):
                headers = subprocess.run([prefix + "objdump", "-p", program], check=True,
                                         capture_output=True, text=True).stdout
                self.assertIn("file format " + file_format, headers)
                self.assertRegex(headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")
                imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
                self.assertEqual(imports, SYSTEM_DLLS)

    def test_dialog_template(self):
        for prefix, _, program in self.programs():
            with self.subTest(program):
                script = subprocess.run([prefix + "windres", "-i", program, "-O", "rc"], check=True,
                                        capture_output=True, text=True).stdout
                found = re.search(r"^101 DIALOGEX.*?^END", script, re.S | re.M)
                self.assertIsNotNone(found, script)
                self.assertEqual(found.group(0), DIALOG)

    def test_manifest(self):
        namespaces = {"asm1": "urn:schemas-microsoft-com:asm.v1", "asm3": "urn:schemas-microsoft-com:asm.v3",
                      "ws2005": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                      "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                      "ws2019": "http://schemas.microsoft.com/SMI/2019/WindowsSettings"}
        for prefix, _, program in self.programs():
            with self.subTest(program):
                resources = read_resources(prefix, program)
                manifests = [data for (kind, _), data in resources.items() if kind == RT_MANIFEST]
                self.assertEqual(len(manifests), 1)
                self.assertIn((RT_MANIFEST, 1), resources)
                root = ElementTree.fromstring(manifests[0])
                dependency = root.find("asm1:dependency/asm1:dependentAssembly/asm1:assemblyIdentity", namespaces)
                self.assertEqual((dependency.get("name"), dependency.get("version")),
                                 ("Microsoft.Windows.Common-Controls", "6.0.0.0"))
                settings = root.find("asm3:application/asm3:windowsSettings", namespaces)
                self.assertEqual(settings.find("ws2005:dpiAware", namespaces).text, "true/pm")
                self.assertEqual(settings.find("ws2016:dpiAwareness", namespaces).text, "PerMonitorV2, PerMonitor")
                self.assertEqual(settings.find("ws2019:activeCodePage", namespaces).text, "UTF-8")

    def test_icon(self):
        for prefix, _, program in self.programs():
            with self.subTest(program):
                resources = read_resources(prefix, program)
                groups = {name: data for (kind, name), data in resources.items() if kind == RT_GROUP_ICON}
                self.assertEqual(list(groups), [1])
                data = groups[1]
                _, kind, count = struct.unpack_from("<HHH", data)
                self.assertEqual(kind, 1)
                sizes = []
                for i in range(count):
                    width, height, _, _, _, bits, size, ident = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
                    width = width or 256
                    sizes.append(width)
                    self.assertEqual((height or 256, bits), (width, 32))
                    image = resources[(RT_ICON, ident)]
                    self.assertEqual(len(image), size)
                    if width == 256:
                        self.assertEqual(image[:8], b"\x89PNG\r\n\x1a\n")
                    else:
                        self.assertEqual(struct.unpack_from("<Iii", image), (40, width, 2 * width))
                self.assertEqual(sizes, [16, 20, 24, 32, 40, 48, 64, 256])

    def test_version_resource(self):
        from package_windows_test import project_version  # what CMake gave CPack
        numbers = [int(n) for n in project_version().split(".")] + [0, 0, 0]
        text = ".".join(str(n) for n in numbers[:4])
        publisher = "The TAVRO Shopping List Generator developers"
        expected = {"CompanyName": publisher, "FileDescription": "TAVRO Shopping List Generator",
                    "FileVersion": text, "InternalName": "shopping-list",
                    "LegalCopyright": "Copyright (c) 2026 " + publisher, "OriginalFilename": "shopping-list.exe",
                    "ProductName": "TAVRO Shopping List Generator", "ProductVersion": text}
        for prefix, _, program in self.programs():
            with self.subTest(program):
                data = read_resources(prefix, program)[(16, 1)]  # RT_VERSION, VS_VERSION_INFO
                key, fixed, children = version_block(data, 0)
                self.assertEqual(key, "VS_VERSION_INFO")
                signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
                self.assertEqual(signature, 0xFEEF04BD)
                versions = [n for pair in (file_ms, file_ls, product_ms, product_ls) for n in (pair >> 16, pair & 0xFFFF)]
                self.assertEqual(versions, numbers[:4] * 2)
                tables = {k: grandchildren for k, _, grandchildren in children}["StringFileInfo"]
                self.assertEqual([k for k, _, _ in tables], ["040904B0"])  # U.S. English, UTF-16
                strings = {k: value.decode("utf-16-le").rstrip("\0") for k, value, _ in tables[0][2]}
                self.assertEqual(strings, expected)


def version_block(data, at):
    """(key, value bytes, [child blocks]) of the VS_VERSIONINFO-shaped block at `at`: a
    length, a value length (in WORDs for text values), a type, the key in UTF-16, then the
    value and the children, each 32-bit aligned."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = data.index(b"\0\0", at + 6)
    while (end - at) % 2:
        end = data.index(b"\0\0", end + 1)
    key = data[at + 6:end].decode("utf-16-le")
    offset = (end + 2 + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length
    value, offset = data[offset:offset + size], (offset + size + 3) & ~3
    children = []
    while offset < at + length:
        children.append(version_block(data, offset))
        offset = (offset + struct.unpack_from("<H", data, offset)[0] + 3) & ~3
    return key, value, children


if __name__ == "__main__":
    unittest.main(verbosity=2)
