#!/usr/bin/env python3
"""Runs every README code block marked as an example (an HTML comment
<!-- example: c|cpp|python|sh --> on the line before its fence) against the vendor
simulator, and checks that each finds the sample patient DOE.

    run_examples.py README CLI LIBRARY INCLUDE_DIR PYTHON_DIR

The blocks use port 9991, as the README's simulator does; each run gets the port of a
simulator this script started instead, and a scratch home of its own."""

import os
import re
import select
import subprocess
import sys
import tempfile
import time

EXAMPLE = re.compile(r"<!-- example: (\w+) -->\s*\n```\w*\n(.*?)```", re.S)
TIMEOUT = 180  # seconds per step: a hang guard, far above what a step takes


def start_simulator(cli: str) -> tuple[subprocess.Popen, str]:
    process = subprocess.Popen([cli, "vendor-sim", "--port", "0", "--run-for", "600"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        ready, _, _ = select.select([process.stdout], [], [], deadline - time.monotonic())
        if not ready:
            break
        line = process.stdout.readline()
        match = re.match(r"listening on 127\.0\.0\.1:(\d+)", line)
        if match:
            return process, match.group(1)
        if not line:
            break
    process.kill()
    sys.exit("the simulator did not start")


def run_block(language: str, code: str, scratch: str, env: dict, paths: dict) -> subprocess.CompletedProcess:
    if language in ("c", "cpp"):
        source = os.path.join(scratch, "host." + language)
        program = os.path.join(scratch, "host")
        with open(source, "w") as out:
            out.write(code)
        compiler = ["cc", "-std=c11"] if language == "c" else ["c++", "-std=c++20"]
        subprocess.run(compiler + [source, "-I", paths["include"], paths["library"], "-o", program],
                       check=True, timeout=TIMEOUT)
        return subprocess.run([program], env=env, capture_output=True, text=True, timeout=TIMEOUT)
    if language == "python":
        return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True,
                              text=True, timeout=TIMEOUT)
    if language == "sh":
        return subprocess.run(["bash", "-euo", "pipefail", "-c", code], env=env,
                              capture_output=True, text=True, timeout=TIMEOUT)
    raise SystemExit(f"no runner for an example in {language}")


def main() -> int:
    readme, cli, library, include, python = sys.argv[1:6]
    with open(readme) as f:
        blocks = EXAMPLE.findall(f.read())
    languages = {language for language, _ in blocks}
    if not {"c", "cpp", "python", "sh"} <= languages:
        print(f"README examples cover {sorted(languages)}, not C, C++, Python and shell")
        return 1
    simulator, port = start_simulator(cli)
    failures = 0
    try:
        for number, (language, code) in enumerate(blocks, 1):
            with tempfile.TemporaryDirectory(prefix="trellybridge-readme-") as scratch:
                os.makedirs(os.path.join(scratch, "drive_c"))
                env = dict(os.environ, HOME=scratch, XDG_CONFIG_HOME=os.path.join(scratch, "config"),
                           XDG_DATA_HOME=os.path.join(scratch, "data"),
                           TRELLYBRIDGE_DRIVE_C=os.path.join(scratch, "drive_c"),
                           TRELLYBRIDGE_PACE="fast", TRELLYBRIDGE_LIBRARY=library,
                           PYTHONPATH=python, LD_LIBRARY_PATH=os.path.dirname(library),
                           PATH=os.path.dirname(cli) + os.pathsep + os.environ["PATH"])
                result = run_block(language, code.replace("9991", port), scratch, env,
                                   {"include": include, "library": library})
                ok = result.returncode == 0 and "DOE" in result.stdout
                print(f"example {number} ({language}): {'found DOE' if ok else 'FAILED'}")
                if not ok:
                    failures += 1
                    print(result.stdout + result.stderr)
    finally:
        simulator.terminate()
        simulator.wait(10)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
