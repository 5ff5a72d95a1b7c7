#!/usr/bin/env python3
"""kilna.exe imports only what every supported Windows pre-maps, and its own modules.

    import_table_test.py KILNA_EXE OBJDUMP

The process runs elevated, often from a folder the user can write to. Windows
looks for an imported DLL beside the executable first unless it is one of the
KnownDLLs, so every other system DLL is loaded at run time from the system
folder. And the loader refuses the whole executable for one missing import, so
no function newer than Windows 7 may be imported.
"""

import re
import subprocess
import sys
import unittest

# Names on the KnownDLLs list of every Windows the manifest names (7 SP1, 8,
# 8.1, 10), and ntdll, which is mapped into every process before anything else.
# Windows 7 alone also lists wininet, urlmon, iertutil, lpk and usp10; 8 and
# later add combase, 8.1 and later shcore, 10 gdiplus and coml2.
KNOWN_DLLS = {
    "ntdll.dll",
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll",
    "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "wldap32.dll", "ws2_32.dll",
}

# The application's own modules, installed beside the executable.
OWN_MODULES = {
    "flutter_windows.dll", "orv_crypto.dll",
    "desktop_multi_window_plugin.dll", "file_selector_windows_plugin.dll", "flutter_ime_plugin.dll",
    "flutter_timezone_plugin.dll", "media_kit_libs_windows_video_plugin.dll", "media_kit_video_plugin.dll",
    "pasteboard_plugin.dll", "screen_retriever_windows_plugin.dll", "tray_manager_plugin.dll",
    "url_launcher_windows_plugin.dll", "webview_all_windows_plugin.dll", "window_manager_plugin.dll",
    "windows_single_instance_plugin.dll",
}

# Functions the product uses that Windows 7 lacks: each must be looked up at
# run time, never imported.
NEWER_THAN_WINDOWS_7 = {
    "DnsQueryEx", "DnsCancelQuery",
    "GetSystemTimePreciseAsFileTime",
    "GetDpiForWindow", "GetDpiForMonitor", "EnableNonClientDpiScaling", "SetProcessDpiAwarenessContext",
    "FwpmNetEventSubscribe1", "FwpmNetEventSubscribe2", "FwpmNetEventUnsubscribe0",
    "SetDefaultDllDirectories", "AddDllDirectory",
}


def imports(dump):
    """{dll name (lower case): [function names]} from `objdump -p` output."""
    table = {}
    current = None
    for line in dump.splitlines():
        dll = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if dll:
            current = table.setdefault(dll.group(1).lower(), [])
            continue
        if current is None:
            continue
        entry = re.match(r"\s*[0-9a-fA-F]+\s+(\d+)\s+(\S+)\s*$", line)
        if entry:
            current.append(entry.group(2))
        elif not line.strip() or line.lstrip().startswith("vma:"):
            continue
        elif not line.startswith("\t") and not line.startswith(" "):
            current = None
    return table


def foreign_dlls(table):
    return sorted(name for name in table if name not in KNOWN_DLLS and name not in OWN_MODULES)


def newer_functions(table):
    return sorted(f"{dll}!{fn}" for dll, fns in table.items() for fn in fns if fn in NEWER_THAN_WINDOWS_7)


SAMPLE = """
There is an import table in .idata at 0x1400c8000

The Import Tables (interpreted .idata section contents)
 vma:            Hint    Time      Forward  DLL       First
                 Table   Stamp     Chain    Name      Thunk
 000c8000       000c80f0 00000000 00000000 000c9a3c 000c8500

\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\tc9000\t  123  CloseHandle
\tc9010\t  456  GetSystemTimePreciseAsFileTime

\tDLL Name: dwmapi.dll
\tvma:  Hint/Ord Member-Name Bound-To
\tc9100\t   10  DwmSetWindowAttribute

\tDLL Name: flutter_windows.dll
\tvma:  Hint/Ord Member-Name Bound-To
\tc9200\t    1  FlutterDesktopEngineCreate

The Export Tables (interpreted .edata section contents)
"""


class CheckerReadsTheTable(unittest.TestCase):
    def test_a_dump_with_a_foreign_dll_and_a_newer_function_is_refused(self):
        table = imports(SAMPLE)
        self.assertEqual(sorted(table), ["dwmapi.dll", "flutter_windows.dll", "kernel32.dll"])
        self.assertEqual(foreign_dlls(table), ["dwmapi.dll"])
        self.assertEqual(newer_functions(table), ["kernel32.dll!GetSystemTimePreciseAsFileTime"])


class KilnaImportTable(unittest.TestCase):
    table = {}

    def test_imports_were_read(self):
        self.assertIn("kernel32.dll", self.table)
        self.assertIn("flutter_windows.dll", self.table)

    def test_every_imported_dll_is_a_known_dll_or_our_own(self):
        self.assertEqual(foreign_dlls(self.table), [],
                         "system DLLs that Windows would look for beside kilna.exe first")

    def test_no_imported_function_is_newer_than_windows_7(self):
        self.assertEqual(newer_functions(self.table), [], "imports that keep kilna.exe from starting on Windows 7")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__)
        sys.exit(2)
    exe, objdump = sys.argv[1], sys.argv[2]
    dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    KilnaImportTable.table = imports(dump)
    unittest.main(argv=[sys.argv[0], "-v"])
