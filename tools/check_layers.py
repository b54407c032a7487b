#!/usr/bin/env python3
"""Checks that every #include of the product's sources follows the layers:

    python3 tools/check_layers.py [--root DIR] [--self-test]

Each folder is a layer and may include its own headers and those of the layers it builds
on (LAYERS below; README, "Layout", draws the same arrows). On top of that, nothing outside
shell/ includes shell/, and inside shell/ only the top (start-up, the sheets, the verbs)
includes the top's headers. Tests, test programs and fuzz targets may include anything.
Prints one line per wrong include and exits with 1 when there is any.
"""

import argparse
import re
import sys
import tempfile
from pathlib import Path

# folder -> the folders its sources may include (besides their own).
BOTTOM = ["base"]
SUPPORT = ["gateway", "resources"]
PAGE_LAYER = ["app"] + BOTTOM + SUPPORT
LAYERS = {
    "base": [],
    "resources": [],
    "gateway": BOTTOM,
    "app": BOTTOM + SUPPORT,
    "services": PAGE_LAYER,
    "spool": PAGE_LAYER,
    # The test message page reads the error notes and opens the user dialog for a first account.
    "modem": ["services", "spool", "users"] + PAGE_LAYER,
    "users": PAGE_LAYER,
    "email": PAGE_LAYER,
    "mm7": PAGE_LAYER,
    # These open dialogs of other subsystems: the viewers, the MM7 dialog.
    "monitoring": ["spool", "services"] + PAGE_LAYER,
    "twoway": ["spool", "mm7"] + PAGE_LAYER,
    "shell": ["services", "spool", "modem", "users", "email", "mm7", "monitoring", "twoway"] + PAGE_LAYER,
}
# The top of the shell: start-up, the command verbs and the property sheets.
SHELL_TOP = {"shell/startup.h", "shell/property_sheets.h", "shell/verb_actions.h", "shell/main.cpp",
             "shell/startup.cpp", "shell/property_sheets.cpp", "shell/verb_actions.cpp"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCES = ("*.cpp", "*.h")


def layer_of(relative):
    return relative.split("/", 1)[0]


def violations(root):
    root = Path(root)
    found = []
    for folder in LAYERS:
        for pattern in SOURCES:
            for source in sorted((root / folder).rglob(pattern)):
                relative = source.relative_to(root).as_posix()
                text = source.read_text(encoding="utf-8", errors="replace")
                for number, target in _includes(text):
                    problem = _judge(relative, target)
                    if problem:
                        found.append("%s:%d: includes %s: %s" % (relative, number, target, problem))
    return found


def _includes(text):
    for match in INCLUDE.finditer(text):
        yield text.count("\n", 0, match.start()) + 1, match.group(1)


def _judge(source, target):
    if "/" not in target:
        return None   # a header beside the source, by its plain name
    own, other = layer_of(source), layer_of(target)
    if other == own:
        if own == "shell" and target in SHELL_TOP and source not in SHELL_TOP:
            return "only the shell's top includes start-up, verbs and sheets"
        return None
    if other not in LAYERS:
        return "not a product folder"
    if other not in LAYERS[own]:
        return "%s/ may not include %s/" % (own, other)
    return None


def self_test():
    """The check must catch a planted wrong include, and pass a clean tree."""
    with tempfile.TemporaryDirectory() as temp:
        root = Path(temp)
        for path, text in {
            "base/text.h": "#pragma once\n",
            "app/page.h": '#include "base/text.h"\n',
            "spool/viewer.cpp": '#include "app/page.h"\n#include "spool/viewer.h"\n',
            "shell/server_page.cpp": '#include "spool/viewer.h"\n',
        }.items():
            (root / path).parent.mkdir(parents=True, exist_ok=True)
            (root / path).write_text(text)
        if violations(root):
            return ["a clean tree was refused: %s" % violations(root)]
        planted = {
            "spool/bad.cpp": '#include "shell/startup.h"\n',
            "base/bad.h": '#include "app/page.h"\n',
            "shell/bad_page.cpp": '#include "shell/property_sheets.h"\n',
        }
        for path, text in planted.items():
            (root / path).write_text(text)
        caught = {line.split(":", 1)[0] for line in violations(root)}
        return ["planted include not caught: " + path for path in planted if path not in caught]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=str(Path(__file__).resolve().parent.parent))
    parser.add_argument("--self-test", action="store_true")
    options = parser.parse_args()
    problems = self_test() if options.self_test else violations(options.root)
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
