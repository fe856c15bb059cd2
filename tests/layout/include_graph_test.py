"""The include graph of our sources against README's layout table.

README's "Layout" table names, for each source folder, the other folders
its files may include. This test reads the table, collects every
`#include "folder/file"` of every source file, and fails on an include the
table does not allow, on a source folder the table does not name, and on a
cycle in the table itself: the runtime's folders are layers, and a layer
that may include one above it would make the layers meaningless.
"""
import os
import re
import shutil
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SOURCE_SUFFIXES = (".h", ".cpp", ".cc", ".inl")
# Folders that hold no product source of their own.
NOT_SOURCE = {"build", "docs", "examples", "scripts", "cmake", ".ci", ".git"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
FOLDER = re.compile(r"`([a-z_]+)/`")


def read_rules(readme):
    """{folder: set of folders it may include, or None for anything}."""
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    section = text.split("\n## Layout\n", 1)[1].split("\n## ", 1)[0]
    rules = {}
    for line in section.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 3 or not FOLDER.fullmatch(cells[0]):
            continue
        folder = FOLDER.fullmatch(cells[0]).group(1)
        allowed = cells[2]
        rules[folder] = None if allowed == "anything" else set(FOLDER.findall(allowed))
    return rules


def source_files(root, folder):
    for base, _, names in os.walk(os.path.join(root, folder)):
        for name in names:
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(base, name)


def source_folders(root):
    folders = set()
    for name in os.listdir(root):
        if name in NOT_SOURCE or not os.path.isdir(os.path.join(root, name)):
            continue
        if any(True for _ in source_files(root, name)):
            folders.add(name)
    return folders


def violations(root, rules):
    """Human-readable faults: includes the table forbids, folders it lacks."""
    faults = []
    ours = source_folders(root)
    for folder in sorted(ours - set(rules)):
        faults.append("%s/ holds sources but is not in README's layout table" % folder)
    for folder in sorted(ours & set(rules)):
        allowed = rules[folder]
        if allowed is None:
            continue
        for path in sorted(source_files(root, folder)):
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for target in INCLUDE.findall(text):
                if "/" not in target:
                    continue  # beside the file, or generated in the build tree
                top = target.split("/", 1)[0]
                if top not in ours or top == folder or top in allowed:
                    continue
                faults.append("%s includes \"%s\": %s/ may include only %s" % (
                    os.path.relpath(path, root), target, folder,
                    ", ".join(sorted(f + "/" for f in allowed)) or "nothing of ours"))
    return faults


def cycle(rules):
    """A cycle among the ruled folders, as a list, or None."""
    state = {}

    def visit(folder, trail):
        state[folder] = "open"
        for nxt in sorted(rules.get(folder) or ()):
            if nxt not in rules:
                continue
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt] if nxt in trail else [folder, nxt]
            if nxt not in state:
                found = visit(nxt, trail + [nxt])
                if found:
                    return found
        state[folder] = "done"
        return None

    for folder in sorted(rules):
        if folder not in state:
            found = visit(folder, [folder])
            if found:
                return found
    return None


class IncludeGraphTest(unittest.TestCase):
    def test_every_include_is_allowed_by_the_layout_table(self):
        rules = read_rules(os.path.join(ROOT, "README.md"))
        for layer in ("format", "core", "actions", "install", "wizard", "startup", "uninstaller", "tool"):
            self.assertIn(layer, rules, "README's layout table lost the row of %s/" % layer)
        self.assertEqual(violations(ROOT, rules), [])

    def test_the_table_stands_in_layers(self):
        rules = read_rules(os.path.join(ROOT, "README.md"))
        self.assertIsNone(cycle(rules))
        self.assertEqual(rules["format"], set(), "format/ is the bottom: it includes nothing of ours")

    def test_the_check_finds_what_it_should(self):
        # A small tree with one fault of each kind the check reports.
        root = tempfile.mkdtemp()
        try:
            def write(path, text):
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w") as f:
                    f.write(text)
            write("format/a.h", "#pragma once\n")
            write("core/b.h", '#include "format/a.h"\n#include "c.h"\n')
            write("wizard/w.cpp", '#include "core/b.h"\n')
            write("core/up.cpp", '  #  include "wizard/w.h"\n#include <windows.h>\n')
            write("stray/s.cpp", '#include "core/b.h"\n')
            rules = {"format": set(), "core": {"format"}, "wizard": {"core", "format"}}
            faults = violations(root, rules)
            self.assertEqual(len(faults), 2, faults)
            self.assertIn("stray/ holds sources", faults[0])
            self.assertIn('core/up.cpp includes "wizard/w.h"', faults[1])
            self.assertIsNone(cycle(rules))
            self.assertIsNotNone(cycle({"core": {"wizard"}, "wizard": {"core"}}))
        finally:
            shutil.rmtree(root)


if __name__ == "__main__":
    unittest.main()
