#!/usr/bin/env python3
"""Checks the man page against the command: it has the sections a man page has, names
every command, option, setting and environment variable that `trellybridge --help-all`
lists, and man(1) formats it without a warning (as lintian does).

    man_page.py COMMAND MAN_PAGE"""

import re
import shutil
import subprocess
import sys

SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "SETTINGS", "EXIT STATUS",
            "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"]


def listed_by_help(command: str) -> dict[str, set[str]]:
    help_all = subprocess.run([command, "--help-all"], capture_output=True, text=True,
                              check=True, timeout=60).stdout
    settings = help_all[help_all.index("*Settings*"):help_all.index("*Exit Status*")]
    environment = help_all[help_all.index("Environment:"):help_all.index("Files:")]
    return {
        "command": set(re.findall(r"^([a-z][a-z-]+)\n  \S", help_all, re.M)),
        "option": set(re.findall(r"(?<![\w-])(--[a-z][a-z-]*)", help_all)),
        "setting": set(re.findall(r"^  (\w+)$", settings, re.M)),
        "variable": set(re.findall(r"\b((?:TRELLYBRIDGE|XDG)_[A-Z_]*[A-Z]|HOME)\b", environment)),
    }


def main() -> int:
    command, page = sys.argv[1:3]
    with open(page, encoding="utf-8") as f:
        source = f.read()
    # What a reader sees: no escapes, no font changes.
    text = re.sub(r"\\f[BIRP]", "", source).replace("\\-", "-").replace("\\e", "\\")
    problems = []
    headings = re.findall(r'^\.SH "?([^"\n]+)"?$', source, re.M)
    if headings != SECTIONS:
        problems.append(f"sections {headings}, expected {SECTIONS}")
    for kind, names in listed_by_help(command).items():
        missing = sorted(n for n in names if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(n), text))
        if missing:
            problems.append(f"{kind}s that --help-all lists and the man page does not: {missing}")
        elif not names:
            problems.append(f"no {kind} found in --help-all: the check reads it wrongly")
    if shutil.which("man"):
        # As lintian runs it: any message is a fault of the page.
        formatted = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page],
                                   capture_output=True, text=True, timeout=60,
                                   env={"LC_ALL": "C.UTF-8", "MANROFFSEQ": "", "MANWIDTH": "80",
                                        "PATH": "/usr/bin:/bin"})
        if formatted.returncode != 0 or formatted.stderr.strip():
            problems.append("man --warnings: " + (formatted.stderr.strip() or f"exit {formatted.returncode}"))
    for problem in problems:
        print(problem)
    if not problems:
        print(f"{page}: {len(SECTIONS)} sections; every command, option, setting and variable of --help-all")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
