#!/usr/bin/python3
"""Checks a built UpdateAccessKey.exe: icon, logo, version and manifest resources, the PE
hardening flags, that it imports nothing but system DLLs, not the annotation service's and no
function that Windows 7 lacks, and that it stays within 360,000 bytes.
Usage: /usr/bin/python3 check_resources.py EXE
"""
import difflib
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

import pefile

here = Path(__file__).resolve().parent
errors = 0


def fail(message):
    global errors
    print(f"FAIL: {message}", file=sys.stderr)
    errors += 1


if len(sys.argv) != 2:
    sys.exit("usage: check_resources.py EXE")
exe = Path(sys.argv[1])
try:
    pe = pefile.PE(str(exe))
except (OSError, pefile.PEFormatError) as error:
    sys.exit(f"FAIL: cannot read {exe}: {error}")
if not shutil.which("icotool"):
    sys.exit("FAIL: icotool is not installed")

ICON, BITMAP, GROUP_ICON, VERSION, MANIFEST = (
    pefile.RESOURCE_TYPE["RT_" + kind]
    for kind in ("ICON", "BITMAP", "GROUP_ICON", "VERSION", "MANIFEST"))
# resources[type][name][language] = bytes
resources = {}
directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
for kind in directory.entries if directory else []:
    for name in kind.directory.entries:
        for language in name.directory.entries:
            data = language.data.struct
            key = name.id if name.name is None else str(name.name)
            resources.setdefault(kind.id, {}).setdefault(key, {})[language.id] = pe.get_data(
                data.OffsetToData, data.Size)


def count(kind):
    return sum(len(languages) for languages in resources.get(kind, {}).values())


def resource(kind, name, language=None):  # None for any language
    languages = resources.get(kind, {}).get(name, {})
    return next(iter(languages.values()), None) if language is None else languages.get(language)


# The version is written once, in project(); the version resource and the manifest take it
# from there.
project = re.search(r"project\(\s*UpdateAccessKey\s+VERSION\s+(\d+)\.(\d+)\b",
                    (here.parent / "CMakeLists.txt").read_text())
if not project:
    sys.exit("FAIL: project() in CMakeLists.txt gives no version")
major, minor = map(int, project.groups())
version = f"{major}.{minor}"

# --- Icon -------------------------------------------------------------------------------------
# width, bits, bytes in the group's order; the images have ids 30001.. in the same order
icons = [(48, 8, 3752), (32, 8, 2216), (24, 8, 1736), (16, 8, 1384),
         (48, 32, 9640), (32, 32, 4264), (24, 32, 2440), (16, 32, 1128)]
if count(GROUP_ICON) != 1:
    fail("expected exactly one icon group")
if count(ICON) != len(icons):
    fail(f"expected exactly {len(icons)} icon images")
group = resource(GROUP_ICON, 1, 0)
if group is None:
    fail("icon group 1 (language neutral) is missing")
elif len(group) != 6 + 14 * len(icons) or struct.unpack_from("<3H", group) != (0, 1, len(icons)):
    header = struct.unpack_from("<3H", group.ljust(6, b"\0"))
    fail(f"icon group is {header} in {len(group)} bytes, expected (0, 1, {len(icons)}) in"
         f" {6 + 14 * len(icons)}")
else:
    # The .ico file that the group and its images make: each entry gives its image's offset.
    ico, images = bytearray(group[:6]), b""
    for i, (size, bits, length) in enumerate(icons):
        entry, id_ = 6 + 14 * i, 30001 + i
        fields = struct.unpack_from("<4B2HIH", group, entry)
        got = "{}x{} colours={} planes={} bits={} bytes={} id={}".format(*fields[:3], *fields[4:])
        want = f"{size}x{size} colours=0 planes=1 bits={bits} bytes={length} id={id_}"
        if got != want:
            fail(f"icon entry {i + 1} is '{got}', expected '{want}'")
        image = resource(ICON, id_, 0)
        if image is None or len(image) != length:
            fail(f"icon image {id_} (language neutral, {length} bytes) is missing")
        ico += group[entry:entry + 12] + struct.pack("<I", 6 + 16 * len(icons) + len(images))
        images += image or b""
    ico += images
    if ico != (here / "app.ico").read_bytes():
        fail("the embedded icon differs from app.ico")
    listing = subprocess.run(["icotool", "-l", "-"], input=bytes(ico), capture_output=True).stdout
    if listing.count(b"--icon") != len(icons):
        fail(f"icotool does not see {len(icons)} images in the embedded icon")

# --- Logo -------------------------------------------------------------------------------------
# A BITMAP resource is the .bmp file without its 14-byte file header.
logo = resource(BITMAP, 101)
if logo is None:
    fail("logo bitmap 101 is missing")
elif logo != (here / "logo.bmp").read_bytes()[14:]:
    fail("the embedded logo differs from logo.bmp")


# --- Version ----------------------------------------------------------------------------------
def walk(data, offset, end, depth, nodes):
    """Lists the VS_VERSIONINFO blocks in `nodes`, indented by depth, with key and value. Text
    values must end with their NUL, which is not listed."""
    while offset + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<3H", data, offset)
        if length < 6 or offset + length > end:
            return fail(f"version block at byte {offset} has a bad length ({length})")
        p = offset + 6
        while p + 1 < offset + length and data[p:p + 2] != b"\0\0":
            p += 2
        line = "  " * depth + data[offset + 6:p].decode("utf-16-le", "replace")
        p = (p + 2 + 3) & ~3
        value = data[p:p + (2 * value_length if is_text == 1 else value_length)]
        if is_text == 1 and value:
            if value[-2:] != b"\0\0":
                fail(f"version string {line.strip()} is not NUL-terminated")
            line += " = " + value[:-2].decode("utf-16-le", "replace")
        elif depth and value:
            line += " = " + value.hex()
        nodes.append(line)
        walk(data, (p + len(value) + 3) & ~3, offset + length, depth + 1, nodes)
        offset = (offset + length + 3) & ~3


info = resource(VERSION, 1, 1033)
if info is None:
    fail("version resource 1 (language 1033) is missing")
else:
    if len(info) < 92 or info[2:4] != b"\x34\0" or info[40:44] != struct.pack("<I", 0xFEEF04BD):
        fail("version resource has no VS_FIXEDFILEINFO")
    else:
        # A Windows NT program (VOS_NT_WINDOWS32), an application (VFT_APP)
        wanted = {"FileVersionMS": major << 16 | minor, "FileVersionLS": 0,
                  "ProductVersionMS": major << 16 | minor, "ProductVersionLS": 0,
                  "FileFlagsMask": 0, "FileFlags": 0, "FileOS": 0x00040004, "FileType": 1,
                  "FileSubtype": 0}
        for (field, want), got in zip(wanted.items(), struct.unpack_from("<9I", info, 48)):
            if got != want:
                fail(f"fixed version info dw{field} is 0x{got:08x}, expected 0x{want:08x}")
    nodes = []
    walk(info, 0, len(info), 0, nodes)
    expected = f"""VS_VERSION_INFO
  VarFileInfo
    Translation = 0904b004
  StringFileInfo
    040904B0
      CompanyName = Quorvantis Software
      FileDescription = Quorvantis - Update Access key
      LegalCopyright = Copyright (C) 2026 Quorvantis Software
      LegalTrademarks = All rights reserved.
      ProductName = Quorvantis
      FileVersion = {version}
      ProductVersion = {version}
      InternalName = UpdateAccessKey
      OriginalFilename = UpdateAccessKey.exe""".split("\n")
    if nodes != expected:
        fail("version blocks differ:\n" + "\n".join(difflib.unified_diff(
            expected, nodes, "expected", "actual", lineterm="")))

# --- Manifest ---------------------------------------------------------------------------------
manifest = resource(MANIFEST, 1)
if count(MANIFEST) != 1 or manifest is None:
    fail("expected exactly one manifest, with id 1")
else:
    try:
        ET.fromstring(manifest)
    except ET.ParseError as error:  # Windows refuses to start the program
        fail(f"manifest is not well-formed XML: {error}")
    text = manifest.decode("utf-8", "replace")
    identity = r'<assemblyIdentity[^>]*name="{}"[^>]*version="{}"'
    musts = [(r'requestedExecutionLevel[^>]*level="asInvoker"',
              "requestedExecutionLevel asInvoker"),
             (identity.format(r"Quorvantis\.UpdateAccessKey", rf"{major}\.{minor}\.0\.0"),
              f"the program's identity with version {version}.0.0"),
             (identity.format(r"Microsoft\.Windows\.Common-Controls", r"6\.0\.0\.0"),
              "the Common-Controls 6.0.0.0 dependency"),
             (r"<dpiAwareness[^>]*>[^<]*PerMonitorV2", "dpiAwareness PerMonitorV2")]
    for os_id in ("35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                  "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
        musts.append((rf'<supportedOS[^>]*Id="\{{{os_id}\}}"', f"supportedOS {os_id}"))
    for pattern, what in musts:
        if not re.search(pattern, text, re.I):
            fail(f"manifest lacks {what}")
    if re.search(r"<([a-z0-9]+:)?activeCodePage", text, re.I):
        fail("manifest must not set activeCodePage")

# --- PE header and imports --------------------------------------------------------------------
for flag in ("DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT"):
    if not getattr(pe.OPTIONAL_HEADER, "IMAGE_DLLCHARACTERISTICS_" + flag):
        fail(f"DllCharacteristics 0x{pe.OPTIONAL_HEADER.DllCharacteristics:x} lacks {flag}")
system = re.compile(r"(kernel32|user32|gdi32|advapi32|comctl32|shell32|msvcrt|ucrtbase|shlwapi"
                    r"|uxtheme|ole32)\.dll|api-ms-win-.*\.dll", re.I)
# Windows 7, the oldest that the manifest and _WIN32_WINNT declare, lacks these (some come with an
# update only). Its loader refuses to start a program that imports one: the program must look
# them up at run time.
newer_than_7 = set("""SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory GetDpiForWindow
    GetDpiForSystem GetSystemMetricsForDpi AdjustWindowRectExForDpi SystemParametersInfoForDpi
    SetThreadDpiAwarenessContext SetProcessDpiAwarenessContext EnableNonClientDpiScaling
    GetDpiForMonitor SetProcessDpiAwareness GetSystemTimePreciseAsFileTime CreateFile2
    CopyFile2""".split())
imports = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
if not imports:
    fail("no imported DLLs found")
functions = [i.name.decode() for dll in imports for i in dll.imports if i.name]
if not functions:
    fail("no imported functions found")
for dll in (entry.dll.decode() for entry in imports):
    if not system.fullmatch(dll):
        fail(f"imports {dll}, which is not a system DLL")
    # The annotation service is loaded when a label is first announced, never at start-up. ole32
    # may be: a KnownDLL, it comes from System32 wherever the program starts.
    if dll.lower() in ("oleacc.dll", "oleaut32.dll"):
        fail(f"imports {dll} at start-up")
for function in sorted(newer_than_7.intersection(functions)):
    fail(f"imports {function}, which Windows 7 lacks")
if (size := exe.stat().st_size) > 360000:
    fail(f"the program is {size} bytes, over 360,000")

if errors:
    sys.exit(f"{exe}: {errors} resource check(s) failed")
print(f"{exe}: resources and PE settings OK")
