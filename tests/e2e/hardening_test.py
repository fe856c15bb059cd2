"""Hardening: libraries planted beside a setup or in its current directory,
the private work folder, absurd numbers in the script, damaged packages of
both forms, and the prompts a silent run still shows."""
import collections
import ctypes
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest

import damage
import harness
import packages

CANARY_DIR = os.path.join(harness.BIN, "canary")


def run_time_libraries():
    """The libraries the stubs load at run time, from their one list
    (core/system_libraries.h): the names in its kNames string."""
    with open(os.path.join(harness.ROOT, "core", "system_libraries.h")) as f:
        text = f.read()
    names = re.findall(r"([a-z0-9_]+)\.dll\\0", text)
    assert "cabinet" in names, "core/system_libraries.h no longer lists the libraries"
    return names


# Decoys of every library the runtime loads at run time, and of msimg32,
# which the system's theme code loads by name once a window is shown. Not
# uxtheme.dll (nor version.dll or imm32.dll): Wine's own user32 binds them
# while the process is made, before any code of the runtime runs; on
# Windows user32 and its imports are KnownDLLs, always taken from the
# system folder. Not comctl32.dll: it is loaded by name for the manifest's
# side-by-side assembly, which keeps a planted copy out whatever the stub
# does, so a decoy would prove nothing.
NOT_PLANTED = {"uxtheme", "comctl32"}
CANARIES = [name for name in run_time_libraries() if name not in NOT_PLANTED]
# Static imports the system always takes from its own folder (KnownDLLs).
# Not comctl32: both stubs load it by name, only where a window shows a
# list view or a progress bar (it comes through the manifest's
# side-by-side assembly), so that no run pays for it before its entry
# point and a silent one never does.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                   "ole32.dll", "msvcrt.dll"}
EXIT_CODES = {0: "installed", 1: "damaged", 2: "cancelled before", 3: "prerequisite failed",
              4: "files failed", 5: "cancelled during"}


def canary_env(env):
    """Wine prefers its own copies of system libraries; for these names it
    is told to prefer a native file, as Windows would take any file found
    first on the search path."""
    out = dict(env)
    out["WINEDLLOVERRIDES"] = env["WINEDLLOVERRIDES"] + ";" + ",".join(CANARIES) + "=n,b"
    return out


def plant_canaries(folder):
    os.makedirs(folder, exist_ok=True)
    for name in CANARIES:
        shutil.copyfile(os.path.join(CANARY_DIR, name + ".dll"), os.path.join(folder, name + ".dll"))


def markers(*folders):
    return sorted(m for f in folders for m in glob.glob(os.path.join(f, "*.loaded")))


def pe_imports(path):
    """The DLL names of a PE file's import table."""
    return list(pe_import_functions(path))


def pe_import_functions(path):
    """A PE file's import table: each DLL name (lower case) with the names
    of the functions imported from it ("#n" for an ordinal)."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    directories = 112 if magic == 0x20B else 96  # PE32+ (64-bit) or PE32
    import_rva = struct.unpack_from("<I", data, pe + 24 + directories + 8)[0]  # data directory 1
    table = pe + 24 + optional
    spans = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def offset(rva):
        for size, va, raw_size, raw in spans:
            if va <= rva < va + max(size, raw_size):
                return rva - va + raw
        raise ValueError("RVA outside every section")

    def text(rva):
        start = offset(rva)
        return data[start:data.index(b"\0", start)].decode()

    thunk, ordinal_bit = (8, 1 << 63) if magic == 0x20B else (4, 1 << 31)
    imports = {}
    at = offset(import_rva)
    while True:
        lookup_rva, name_rva, address_rva = struct.unpack_from("<I8xII", data, at)
        if name_rva == 0:
            return imports
        functions = imports.setdefault(text(name_rva).lower(), [])
        entry = offset(lookup_rva or address_rva)
        while True:
            value = int.from_bytes(data[entry:entry + thunk], "little")
            if value == 0:
                break
            functions.append("#%d" % (value & 0xFFFF) if value & ordinal_bit else text(value + 2))
            entry += thunk
        at += 20


def bmp(width, height, rgb):
    """A 24-bit bottom-up BMP of one colour."""
    row = bytes(rgb[::-1]) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def temp_entries():
    return set(os.listdir(harness.temp_folder()))


class HardeningCase(harness.WineTestCase):
    EXE = "pvxdamaged.exe"  # a name no other test's setup has
    LIMIT = 30  # seconds a silent run may take, prompts included
    QUIET = 8   # seconds a run may go on without any window

    def start_with(self, env, exe, args=(), cwd=None):
        p = harness.WinProcess(exe, args, env, cwd=cwd)
        self._processes.append(p)
        return p

    def built(self, setup):
        """The package written beside `setup` ({file name: bytes}), the
        executable under the name EXE."""
        package = damage.read_package(os.path.dirname(setup), os.path.basename(setup))
        package[self.EXE] = package.pop(os.path.basename(setup))
        return package

    def answer(self):
        """Answers the topmost window of the run: a message box with Abort,
        No, OK or Cancel (the first it has), any other prompt with Cancel
        or Skip. Returns the window's title, or None when there is none."""
        code, records = self.robot("list", "exe=" + self.EXE, "visible=1")
        windows = [r for r in records if r["kind"] == "window"]
        if not windows:
            return None
        window = windows[0]
        hwnd = "hwnd=0x%x" % window["hwnd"]
        code, records = self.robot("wait", hwnd, "timeout=1000", "--", "dump")
        ids = {r["id"] for r in records if r["kind"] == "control" and r["class"] == "Button"
               and r.get("visible")}
        # Other prompts: Cancel, or Skip in the replace prompt.
        order = (3, 7, 1, 2) if window["class"] == "#32770" else (2, 3000)
        for button in order:
            if button in ids:
                self.robot("wait", hwnd, "timeout=1000", "--", "click", "id=%d" % button)
                break
        else:
            self.robot("wait", hwnd, "timeout=1000", "--", "close")
        return window["title"]

    def run_case(self, package, install_folder, args=("/S",)):
        case = os.path.join(self.scratch, "case")
        damage.write_package(case, package)
        shutil.rmtree(install_folder, ignore_errors=True)
        skip = {os.path.relpath(install_folder, harness.drive_c()),
                os.path.relpath(harness.temp_folder(), harness.drive_c())}
        files_before = damage.snapshot(harness.drive_c(), skip)
        temp_before = temp_entries()
        p = self.start(os.path.join(case, self.EXE), list(args))
        start = last_window = time.time()
        prompts = []
        code = None
        first = 1.5  # most runs end by then: the robot is not asked
        while code is None:
            try:
                code = p.proc.wait(timeout=first)
                break
            except subprocess.TimeoutExpired:
                first = 0.4
            now = time.time()
            if now - start > self.LIMIT:
                p.kill()
                self.fail("run did not end within %d s (prompts %s)" % (self.LIMIT, prompts))
            title = self.answer()
            if title is not None:
                prompts.append(title)
                last_window = time.time()
            elif now - last_window > self.QUIET:
                p.kill()
                self.fail("run hangs without any window (prompts %s)" % prompts)
        # Wine's exit status keeps only the low byte: a fault (0xC0000005)
        # would pass for exit code 5, so its report is looked for too.
        p._err.seek(0)
        self.assertNotIn(b"Unhandled", p._err.read(), "the run crashed")
        self.assertIn(code, EXIT_CODES, "exit code %s" % code)
        # The run's work folder is gone, and nothing else came into Temp.
        self.assertEqual(temp_entries() - temp_before, set())
        new = damage.snapshot(harness.drive_c(), skip) - files_before
        texts = damage.Layout(package[self.EXE]).script_texts(package[self.EXE]) if len(
            package[self.EXE]) >= damage.TRAILER else []
        self.assertEqual(damage.unnamed(new, texts), [], "written outside the package's destinations")
        return code, prompts



# Functions the 32-bit stub may import statically: each is exported by
# Windows 98 and NT 4. A missing import keeps a
# program from starting at all, so the stub could not even say that the
# system is not supported; anything newer is looked up at run time.
OLD_SYSTEM_IMPORTS = {
    "kernel32.dll": """CloseHandle CompareStringA CreateDirectoryA CreateFileA DeleteFileA
        DosDateTimeToFileTime ExitProcess ExpandEnvironmentStringsA FileTimeToLocalFileTime
        CreateThread FileTimeToSystemTime FindClose FindFirstFileA FindNextFileA FormatMessageA
        FreeLibrary
        GetCommandLineA GetComputerNameA GetCurrentProcess GetCurrentProcessId GetCurrentThread
        GetDateFormatA GetDiskFreeSpaceA GetExitCodeProcess GetFileAttributesA GetFileSize
        GetFileTime GetFullPathNameA GetLastError GetLocalTime GetModuleFileNameA GetModuleHandleA
        GetPrivateProfileStringA GetProcAddress GetProcessHeap GetShortPathNameA
        GetSystemDirectoryA GetTempPathA GetTickCount GetTimeFormatA GetUserDefaultLangID
        GetVersion GetWindowsDirectoryA HeapAlloc HeapFree LoadLibraryA LoadLibraryExA
        LocalFileTimeToFileTime MultiByteToWideChar OpenProcess ReadFile RemoveDirectoryA
        SetCurrentDirectoryA SetErrorMode SetFileAttributesA SetFilePointer SetFileTime
        SetLastError SetUnhandledExceptionFilter Sleep TerminateProcess WaitForSingleObject
        WinExec WriteFile WritePrivateProfileStringA lstrcmpA lstrcmpiA lstrcpyA lstrcpynA
        lstrlenA""",
    "advapi32.dll": """AdjustTokenPrivileges AllocateAndInitializeSid EqualSid FreeSid
        GetTokenInformation GetUserNameA LookupPrivilegeValueA OpenProcessToken OpenThreadToken
        RegCloseKey RegCreateKeyExA RegEnumKeyExA RegOpenKeyExA RegQueryValueExA
        RegSetValueExA""",
    "gdi32.dll": """AddFontResourceA BitBlt CreateBitmap CreateCompatibleBitmap
        CreateCompatibleDC CreateFontA CreatePatternBrush DeleteDC DeleteObject ExtTextOutA
        GetDIBits GetObjectA GetPixel GetStockObject GetTextExtentPoint32A SelectObject
        SetBkColor SetBkMode SetPixelV SetStretchBltMode SetTextColor StretchBlt""",
    "user32.dll": """AdjustWindowRectEx BeginPaint CallWindowProcA CreateWindowExA
        DefWindowProcA DeleteMenu DestroyWindow DispatchMessageA EnableWindow EndPaint
        EnumWindows ExitWindowsEx FindWindowA GetClassInfoA GetClientRect GetDC GetDlgCtrlID
        GetDlgItem GetFocus GetMessageA GetNextDlgTabItem GetParent GetSysColor GetSysColorBrush
        GetSystemMenu GetSystemMetrics GetWindowLongA GetWindowRect GetWindowTextA
        GetWindowTextLengthA InvalidateRect IsChild IsDialogMessageA IsWindowEnabled
        IsWindowVisible LoadCursorA LoadIconA LoadImageA MessageBoxA MoveWindow PeekMessageA
        PostMessageA RedrawWindow RegisterClassA ReleaseDC SendDlgItemMessageA SendMessageA
        SendMessageTimeoutA SetClassLongA SetCursor SetFocus SetForegroundWindow SetWindowLongA
        SetWindowPos SetWindowTextA ShowWindow SystemParametersInfoA TranslateMessage
        UpdateWindow WaitMessage wvsprintfA""",
    "shell32.dll": """SHBrowseForFolderA SHGetMalloc SHGetPathFromIDListA
        SHGetSpecialFolderLocation ShellExecuteA ShellExecuteExA""",
    "ole32.dll": "CoCreateInstance CoInitialize CoTaskMemFree CoUninitialize OleInitialize",
    "msvcrt.dll": "memcmp memmove memset memcpy strchr strlen",
}


class StaticImportTest(unittest.TestCase):
    def test_only_libraries_the_system_takes_from_its_own_folder(self):
        imports = set(pe_imports(harness.RUNTIME))
        self.assertIn("kernel32.dll", imports)
        self.assertEqual(imports - ALLOWED_IMPORTS, set())

    def test_the_uninstaller_too_in_both_builds(self):
        for folder in sorted({harness.BIN, os.path.join(harness.BUILD, "bin")}):
            with self.subTest(folder=folder):
                imports = set(pe_imports(os.path.join(folder, "uninstall.exe")))
                self.assertIn("kernel32.dll", imports)
                self.assertEqual(imports - ALLOWED_IMPORTS, set())

    def test_the_product_starts_on_windows_98_and_nt_4(self):
        # The 32-bit stub is the product; the stand-in builds do not count.
        stub = os.path.join(harness.BUILD, "bin", "runtime.exe")
        imports = pe_import_functions(stub)
        self.assertIn("GetFileSize", imports["kernel32.dll"])
        unavailable = {"%s!%s" % (dll, f) for dll, functions in imports.items() for f in functions
                       if f not in OLD_SYSTEM_IMPORTS.get(dll, "").split()}
        self.assertEqual(unavailable, set())


class LibraryPlantingTest(HardeningCase):
    def test_a_bare_name_load_takes_a_planted_canary(self):
        # The canaries and the overrides are able to catch a planted
        # library: a program that loads by bare name gets the canary beside
        # it, and the restriction the runtime applies keeps it out. (Wine,
        # like Windows, searches the system folder before the current
        # directory, so a canary there only matters for a library the
        # system lacks; the installation test plants it there too.)
        env = canary_env(self.env)
        folder = os.path.join(self.scratch, "beside")
        plant_canaries(folder)
        probe = os.path.join(folder, "probe.exe")
        shutil.copyfile(os.path.join(CANARY_DIR, "dll_probe.exe"), probe)
        for name in CANARIES:
            with self.subTest(name=name):
                code = self.start_with(env, probe, [name + ".dll"], cwd=folder).wait(30)
                self.assertEqual(code, 10, "the bare-name load did not take the canary")
                self.assertEqual(markers(folder), [os.path.join(folder, name + ".dll.loaded")])
                os.remove(markers(folder)[0])
                code = self.start_with(env, probe, [name + ".dll", "restricted"], cwd=folder).wait(30)
                self.assertEqual(code, 0, "the restricted load did not come from the system folder")
                self.assertEqual(markers(folder), [])

    def test_a_silent_installation_loads_no_planted_library(self):
        folder = packages.install_folder("Pvx Planting")
        source = os.path.join(self.scratch, "src")
        packages.write_payload(source, {"app/tool.exe": 3000, "app/readme.txt": 500})
        with open(os.path.join(source, "licence.txt"), "w") as f:
            f.write("Licence\n")
        for form in ("cabinet", "stored"):
            with self.subTest(form=form):
                downloads = os.path.join(self.scratch, "downloads-" + form)
                current = os.path.join(self.scratch, "current-" + form)
                plant_canaries(downloads)
                plant_canaries(current)
                # Closing a running copy by program name loads psapi.
                setup, _ = packages.build(source, """
[setup]
title = "Pvx Planting"
default_folder = "{pf}\\\\Pvx Planting"
licence = "licence.txt"
[package]
form = "%s"
[requirements]
close_running = "no-such-program.exe"
close_running_match = "program"
[[files]]
source = "app"
destination = "{app}"
""" % form, name="setup-%s.exe" % form)
                shutil.move(setup, os.path.join(downloads, "setup.exe"))
                p = self.start_with(canary_env(self.env), os.path.join(downloads, "setup.exe"),
                                    ["/S"], cwd=current)
                self.assertEqual(p.wait(60), 0)
                self.assertTrue(os.path.exists(os.path.join(folder, "tool.exe")))
                self.assertEqual(markers(downloads, current), [])
                shutil.rmtree(folder)


    def test_a_prompt_loads_no_planted_library(self):
        # Windows bring in the system's theme code: with two languages a
        # silent run stops at the language dialog.
        source = os.path.join(self.scratch, "src")
        packages.write_payload(source, {"app/a.txt": 100})
        setup, _ = packages.build(source, """
[setup]
title = "Pvx Planting Prompt"
[[files]]
source = "app"
destination = "{app}"
[[languages]]
base = "english"
[[languages]]
base = "german"
""")
        downloads = os.path.join(self.scratch, "downloads")
        plant_canaries(downloads)
        shutil.move(setup, os.path.join(downloads, "setup.exe"))
        p = self.start_with(canary_env(self.env), os.path.join(downloads, "setup.exe"), ["/S"],
                            cwd=downloads)
        self.robot_ok("wait", "title=Pvx Planting Prompt", "class=ParvolexLanguage", "visible=1",
                      "timeout=30000", "--", "click", "caption=Cancel")
        self.assertEqual(p.wait(30), 2)
        self.assertEqual(markers(downloads), [])


class Inotify:
    """Events on the entries of one host folder (Linux inotify)."""

    def __init__(self, folder):
        self.libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        # Everything but the folder's own open/close: reading, writing,
        # creating, deleting, moving, attribute changes.
        mask = 0x1 | 0x2 | 0x4 | 0x8 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800
        if self.libc.inotify_add_watch(self.fd, os.fsencode(folder), mask) < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch")

    def events(self):
        """(mask, entry name) of every event since the last call; entries
        of the folder only (events on the folder itself have no name)."""
        out = []
        try:
            data = os.read(self.fd, 1 << 16)
        except BlockingIOError:
            return out
        at = 0
        while at < len(data):
            _, mask, _, length = struct.unpack_from("iIII", data, at)
            name = data[at + 16:at + 16 + length].rstrip(b"\0").decode("latin-1")
            if name:
                out.append((mask, name))
            at += 16 + length
        return out

    def close(self):
        os.close(self.fd)


class PrivateWorkFolderTest(HardeningCase):
    LANGUAGES = """
[[languages]]
base = "english"
[[languages]]
base = "german"
"""

    def build(self, tag, languages=True):
        """A package with its own licence and header picture; with two
        languages a silent run stops at the language dialog, after the
        resource area is unpacked."""
        source = os.path.join(self.scratch, "src-" + tag)
        packages.write_payload(source, {"app/%s.txt" % tag: 700})
        with open(os.path.join(source, "licence.txt"), "w") as f:
            f.write("Licence of package %s\n" % tag)
        with open(os.path.join(source, "header.bmp"), "wb") as f:
            f.write(bmp(52, 52, (40 * len(tag), 200, 7)))
        title = "Pvx Private " + tag
        setup, _ = packages.build(source, """
[setup]
title = "%s"
default_folder = "{pf}\\\\%s"
licence = "licence.txt"
[wizard]
header_picture = "header.bmp"
%s
[[files]]
source = "app"
destination = "{app}"
""" % (title, title, self.LANGUAGES if languages else ""), name="setup.exe")
        resources = os.path.join(self.scratch, "res-" + tag)
        subprocess.run([harness.PARVOLEX, "extract", setup, "-d", resources], check=True,
                       capture_output=True)
        return setup, title, os.path.join(resources, "resources")

    def test_two_installations_at_once_keep_their_own_files(self):
        runs = {}
        for tag in ("A", "BB"):
            setup, title, resources = self.build(tag)
            packages.install_folder(title)
            runs[tag] = (setup, title, resources)
        before = temp_entries()
        started = {tag: self.start(setup, ["/S"]) for tag, (setup, _, _) in runs.items()}
        for tag, (_, title, _) in runs.items():
            self.robot_ok("wait", "title=" + title, "class=ParvolexLanguage", "visible=1", "timeout=30000")
        new = sorted(temp_entries() - before)
        self.assertEqual(len(new), 2, new)
        self.assertTrue(all(n.startswith("pvx-") for n in new), new)
        owners = {}
        for entry in new:
            work = os.path.join(harness.temp_folder(), entry, "$inst")
            with open(os.path.join(work, "15.tmp"), "rb") as f:
                licence = f.read()
            tag = "A" if b"package A" in licence else "BB"
            owners[tag] = entry
            # Pictures and texts are exactly the package's own.
            for member in ("4.tmp", "15.tmp"):
                with open(os.path.join(work, member), "rb") as f, \
                        open(os.path.join(runs[tag][2], member), "rb") as g:
                    self.assertEqual(f.read(), g.read(), "%s of %s" % (member, tag))
        self.assertEqual(sorted(owners), ["A", "BB"])
        for tag, (_, title, _) in runs.items():
            self.robot_ok("wait", "title=" + title, "class=ParvolexLanguage", "visible=1", "--",
                          "click", "caption=OK")
        for tag, p in started.items():
            self.assertEqual(p.wait(60), 0, tag)
            title = runs[tag][1]
            self.assertTrue(os.path.exists(harness.drive_c("Program Files", title, tag + ".txt")))
        self.assertEqual(temp_entries() - before, set())

    def test_a_planted_shared_folder_is_neither_read_nor_removed(self):
        setup, title, _ = self.build("P", languages=False)
        packages.install_folder(title)
        shared = os.path.join(harness.temp_folder(), "$inst")
        shutil.rmtree(shared, ignore_errors=True)
        os.makedirs(shared)
        self.addCleanup(shutil.rmtree, shared, True)
        planted = {"2.tmp": b"MSCF planted cabinet", "4.tmp": b"planted picture",
                   "15.tmp": b"{\\rtf1 planted licence}", "temp_0.tmp": b"planted part",
                   "3.tmp": b"planted", "note.txt": b"planted by another program"}
        for name, data in planted.items():
            with open(os.path.join(shared, name), "wb") as f:
                f.write(data)
        watch = Inotify(shared)
        self.addCleanup(watch.close)
        before = temp_entries()
        self.assertEqual(self.start(setup, ["/S"]).wait(60), 0)
        self.assertTrue(os.path.exists(harness.drive_c("Program Files", title, "P.txt")))
        self.assertEqual(watch.events(), [])
        for name, data in planted.items():
            with open(os.path.join(shared, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertEqual(sorted(os.listdir(shared)), sorted(planted))
        self.assertEqual(temp_entries() - before, set())


class AbsurdNumbersTest(HardeningCase):
    """Counts, part numbers and lengths that no package holds: each run
    ends soon, with an exit code of the table, and leaves no work folder."""

    CASES = [
        ("file count 2^31-1", {67: "2147483647"}),
        ("file count -2^31", {67: "-2147483648"}),
        ("every list count 2^31-1", {n: "2147483647" for n in (20, 24, 25, 31, 40, 45, 50, 54, 67, 93, 96)}),
        ("registry variables 2^31-1", {98: "2147483647"}),
        ("languages and texts 2^31-1", {26: "2147483647", 57: "2147483647"}),
        ("languages 2^31-1, texts 1", {26: "2147483647", 57: "1"}),
        ("languages -1", {26: "-1"}),
        ("texts per language -5", {57: "-5"}),
        ("last part 2^31-1", {117: "2147483647"}),
        ("last part -1", {117: "-1"}),
        ("part length -1", {95: "-1"}),
        ("part length 2^31-1", {95: "2147483647"}),
        ("last part length -1", {118: "-1"}),
        ("last part length 2^31-1", {118: "2147483647"}),
        ("lengths wrap modulo 2^32", {95: "4294967297", 118: "99999999999999999999"}),
        ("progress maximum -1", {48: "-1"}),
        ("disk space absurd", {23: "-9223372036854775808"}),
    ]

    def test_absurd_numbers(self):
        source = os.path.join(self.scratch, "src")
        packages.write_payload(source, {"app/one.bin": 70000, "app/two.txt": 900})
        folder = packages.install_folder("Pvx Absurd")
        table = collections.defaultdict(list)
        for form in ("cabinet", "stored"):
            for name, fields in self.CASES:
                with self.subTest(form=form, case=name):
                    header = "\n".join('%d = "%s"' % kv for kv in sorted(fields.items()))
                    setup, _ = packages.build(source, """
[setup]
title = "Pvx Absurd"
default_folder = "{pf}\\\\Pvx Absurd"
[package]
form = "%s"
part_size = "16K"
[header]
%s
[[files]]
source = "app"
destination = "{app}"
""" % (form, header))
                    code, prompts = self.run_case(self.built(setup), folder, ("/S", "/L=English"))
                    table[code].append("%s: %s%s" % (form, name, " [answered: %s]" % ", ".join(prompts) if prompts else ""))
        sys.stderr.write("absurd numbers: %s\n" % {c: len(v) for c, v in sorted(table.items())})
        for code in sorted(table):
            for name in table[code]:
                sys.stderr.write("    %d  %s\n" % (code, name))


def stored_cabinet(members, next_name=None):
    """A cabinet of (name, bytes) members in one uncompressed folder and one
    data block (checksum 0: none); with next_name its header names that
    successor."""
    names = next_name.encode() + b"\0\0" if next_name else b""
    entries = b""
    offset = 0
    for name, data in members:
        entries += struct.pack("<IIHHHH", len(data), offset, 0, 0x5A21, 0, 0x20) + name.encode() + b"\0"
        offset += len(data)
    data = b"".join(d for _, d in members)
    block = struct.pack("<IHH", 0, len(data), len(data)) + data
    files_at = 36 + len(names) + 8
    data_at = files_at + len(entries)
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, data_at + len(block), 0, files_at, 0, 3, 1, 1,
                         len(members), 2 if next_name else 0, 0x5056, 0)
    return header + names + struct.pack("<IHH", data_at, 1, 0) + entries + block


class SuccessorNameTest(HardeningCase):
    def test_a_successor_named_with_a_path_is_not_followed(self):
        # The payload's only part names "..\..\planted.cab" as its
        # successor, which leads out of the work folder to a cabinet that
        # someone put in the temporary folder. It must not be read: the
        # payload is damaged, and nothing of the planted one is installed.
        planted = os.path.join(harness.temp_folder(), "planted.cab")
        with open(planted, "wb") as f:
            f.write(stored_cabinet([("1", b"PLANTED")]))
        self.addCleanup(os.remove, planted)
        source = os.path.join(self.scratch, "src")
        packages.write_payload(source, {"app/a.txt": b"a", "app/b.txt": b"b"})
        target = harness.drive_c("pvx-successor")
        body = stored_cabinet([("0", b"part zero")], "..\\..\\planted.cab")[4:]
        project = ('[setup]\ntitle = "Pvx Successor"\n[package]\ncompression = "none"\n'
                   '[[files]]\nsource = "app"\ndestination = %s\n'
                   '[header]\n95 = "0"\n117 = "0"\n118 = "%d"\n') % (
            packages.toml_text(harness.windows_path(target)), len(body))
        setup, _ = packages.build(source, project, name="successor.exe")
        package = damage.with_area(self.built(setup), self.EXE, "payload", body)
        code, prompts = self.run_case(package, target)
        self.assertEqual(code, 1)
        installed = [os.path.join(d, f) for d, _, files in os.walk(target) for f in files]
        for path in installed:
            with open(path, "rb") as f:
                self.assertNotEqual(f.read(), b"PLANTED", path)


class DamagedPackagesTest(HardeningCase):
    """Packages of both forms, damaged at many offsets, and foreign damaged
    cabinets as their areas. Every silent run ends with an exit code of
    the table, within a time limit, writes nothing that the package does
    not name, and leaves no work folder. A prompt that a silent run shows
    anyway is answered the way an operator would end it; a run that hangs
    without any window fails."""

    PROJECT = """
[setup]
title = "Pvx Damaged"
default_folder = "{pf}\\\\Pvx Damaged"
licence = "licence.txt"
[package]
form = "%s"
part_size = "%s"
volume_size = %d
[[files]]
source = "app"
destination = "{app}"
[[files]]
source = "docs"
destination = "{app}\\\\docs"
overwrite = "ask"
"""
    def build(self, form):
        source = os.path.join(self.scratch, "src-" + form)
        packages.write_payload(source, {"app/tool.exe": 60000, "app/data.bin": 30000,
                                        "docs/manual.txt": 4000, "docs/empty.txt": b""})
        with open(os.path.join(source, "licence.txt"), "w") as f:
            f.write("Licence\n")
        out = os.path.join(self.scratch, "built-" + form)
        os.makedirs(out)
        # Two volumes whatever the runtime's and the resources' sizes: the
        # first holds them, the script and the start of the payload.
        setup, _ = packages.build(source, self.PROJECT % (form, "24K", 0), name="setup.exe")
        with open(setup, "rb") as f:
            payload = damage.Layout(f.read()).payload
        packages.build(source, self.PROJECT % (form, "24K", payload + damage.TRAILER + 20000),
                       name="setup.exe")
        shutil.move(os.path.join(source, "setup.exe"), os.path.join(out, "setup.exe"))
        for volume in glob.glob(os.path.join(source, "setup-*.bin")):
            shutil.move(volume, out)
        package = damage.read_package(out, "setup.exe")
        self.assertEqual(len(package), 2, "expected the executable and one volume: %s" % sorted(package))
        package[self.EXE] = package.pop("setup.exe")
        return package

    def run_all(self, cases, install_folder, table):
        for name, package in cases:
            with self.subTest(case=name):
                code, prompts = self.run_case(package, install_folder)
                table[code].append(name + (" [answered: %s]" % ", ".join(prompts) if prompts else ""))

    def report(self, title, table):
        lines = ["%s: %d runs" % (title, sum(len(v) for v in table.values()))]
        for code in sorted(table):
            lines.append("  exit %d (%s): %d" % (code, EXIT_CODES.get(code, "?"), len(table[code])))
        for code in sorted(table):
            for name in table[code]:
                lines.append("    %d  %s" % (code, name))
        text = "\n".join(lines) + "\n"
        sys.stderr.write(text)
        with open(os.path.join(harness.STATE_DIR, "damaged-%s.txt" % title.split()[0]), "w") as f:
            f.write(text)

    def test_damaged_packages_of_both_forms(self):
        table = collections.defaultdict(list)
        install_folder = harness.drive_c("Program Files", "Pvx Damaged")
        for seed, form in enumerate(("cabinet", "stored")):
            package = self.build(form)
            cases = [("%s: %s" % (form, name), p)
                     for name, p in damage.damaged_packages(package, self.EXE, seed, per_region=3)]
            self.run_all(cases, install_folder, table)
        self.report("generated damaged packages", table)

    def test_damaged_foreign_cabinets_as_areas(self):
        # As the whole payload (one part of exactly the cabinet's length, so
        # that the extractor, not the volume logic, meets the damage), and
        # every other one as the resource area of an otherwise whole package
        # (a damaged resource area only costs pictures and texts).
        table = collections.defaultdict(list)
        install_folder = harness.drive_c("Program Files", "Pvx Damaged")
        package = self.build("cabinet")
        source = os.path.join(self.scratch, "src-cabinet")
        cabs = os.path.join(harness.ROOT, "tests", "data", "cabs")
        names = sorted(n for n in os.listdir(cabs) if n.endswith(".cab") and not n.startswith(
            ("normal_", "reserve_", "mszip_", "cabd_multi")))
        self.assertGreater(len(names), 30)
        cases = []
        for i, name in enumerate(names):
            with open(os.path.join(cabs, name), "rb") as f:
                cab = f.read()
            # Stored without the signature, as the package keeps cabinets.
            body = cab[4:] if cab[:4] == b"MSCF" else cab
            if i % 2 == 0:
                cases.append(("%s as resource" % name,
                              damage.with_area(package, self.EXE, "resource", body)))
            project = self.PROJECT % ("cabinet", "0", 0) + (
                '[header]\n95 = "0"\n117 = "0"\n118 = "%d"\n' % len(body))
            setup, _ = packages.build(source, project, name="single.exe")
            single = self.built(setup)
            cases.append(("%s as payload" % name, damage.with_area(single, self.EXE, "payload", body)))
        self.run_all(cases, install_folder, table)
        self.report("foreign damaged cabinets", table)


if __name__ == "__main__":
    unittest.main()
