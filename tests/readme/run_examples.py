#!/usr/bin/env python3
"""Runs every README code block marked as an example (an HTML comment
<!-- example: c|cpp|python|sh --> on the line before its fence) against the vendor
simulator, and checks that each finds the sample patient DOE, as a reader would run it.

    run_examples.py README CLI LIBRARY INCLUDE_DIR PYTHON_DIR      (exit 77: skipped)

It runs in a network namespace of its own, so that the examples use the README's ports
(9991, 9443) as printed. Each example runs in a scratch folder that is also its home,
against:
- a block marked <!-- simulator --> just before it: a shell block started as shown, in
  the background, and stopped after the example; the example gets the serial device
  (/dev/pts/3 in the README) and the folder of the web service's certificates
  (/tmp/trellybridge-websim-XXXXXX) that it printed in place of the README's;
- no simulator, when the block starts its own (it runs vendor-sim);
- else `trellybridge vendor-sim --port 9991`, answering in HL7.
The quick start's `build/apps/cli/trellybridge` is the CLI given; elsewhere `trellybridge`
is found on PATH, as after installing. C and C++ hosts run the fast pace
(TRELLYBRIDGE_PACE=fast), the command and Python their own default."""

import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

BLOCK = re.compile(r"<!-- (example|simulator)(?:: (\w+))? -->\s*\n```\w*\n(.*?)```", re.S)
TIMEOUT = 180  # seconds per step: a hang guard, far above what a step takes
BUILT_COMMAND = "build/apps/cli/trellybridge"
SERIAL_PLACEHOLDER = "/dev/pts/3"
CERTIFICATES_PLACEHOLDER = re.compile(r"/tmp/trellybridge-websim-\w+")
# What a simulator prints last once it is ready, by what it was asked to do.
READY = [("--folders", r"results files written into"),
         ("--polling", r"answering request files at"),
         ("--https", r"TRELLYBRIDGE_CLIENT_KEY="),
         ("--serial", r"serial line at"),
         ("", r"listening on 127\.0\.0\.1:")]
PRIVATE = "TRELLYBRIDGE_README_NETWORK"


def enter_private_network() -> None:
    """Re-runs this script in a network namespace of its own, with loopback up."""
    if os.environ.get(PRIVATE):
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=30)
        return
    probe = subprocess.run(["unshare", "-rn", "true"], capture_output=True, text=True, timeout=30)
    if probe.returncode != 0:
        print(f"skipped: no network namespace of its own (unshare -rn: {probe.stderr.strip()})")
        sys.exit(77)
    os.execvpe("unshare", ["unshare", "-rn", sys.executable] + sys.argv, dict(os.environ, **{PRIVATE: "1"}))


def start(command: list[str], env: dict, cwd: str) -> subprocess.Popen:
    return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, bufsize=0,
                            env=env, cwd=cwd, start_new_session=True)


def stop(process: subprocess.Popen) -> None:
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait(10)


def start_simulator(code: str, env: dict, cwd: str) -> tuple[subprocess.Popen, str]:
    """Starts a simulator block; returns it with what it printed up to its ready line."""
    process = start(["bash", "-euo", "pipefail", "-c", code], env, cwd)
    pattern = next(p for option, p in READY if option in code)
    printed, deadline = "", time.monotonic() + 30
    while time.monotonic() < deadline:
        ready, _, _ = select.select([process.stdout], [], [], deadline - time.monotonic())
        chunk = os.read(process.stdout.fileno(), 65536).decode(errors="replace") if ready else ""
        printed += chunk
        if re.search(pattern, printed):
            return process, printed
        if not chunk:
            break
    stop(process)
    sys.exit(f"the simulator did not say it was ready ({pattern}); it printed:\n{printed}")


def as_printed(code: str, printed: str) -> str:
    """The example with what its simulator printed in place of the README's placeholders."""
    if device := re.search(r"serial line at (\S+)", printed):
        code = code.replace(SERIAL_PLACEHOLDER, device.group(1))
    if key := re.search(r"TRELLYBRIDGE_CLIENT_KEY=(\S+)/client\.key", printed):
        code = CERTIFICATES_PLACEHOLDER.sub(key.group(1), code)
    return code


def run_block(language: str, code: str, scratch: str, env: dict, paths: dict) -> tuple[subprocess.CompletedProcess, float]:
    """The block's result, and the seconds it ran (a C or C++ host's compiling left out)."""
    if language in ("c", "cpp"):
        source = os.path.join(scratch, "host." + language)
        program = os.path.join(scratch, "host")
        with open(source, "w") as out:
            out.write(code)
        compiler = ["cc", "-std=c11"] if language == "c" else ["c++", "-std=c++20"]
        subprocess.run(compiler + [source, "-I", paths["include"], paths["library"], "-o", program],
                       check=True, timeout=TIMEOUT)
        command, env = [program], dict(env, TRELLYBRIDGE_PACE="fast")
    elif language == "python":
        command = [sys.executable, "-c", code]
    elif language == "sh":
        command = ["bash", "-euo", "pipefail", "-c", code]
    else:
        raise SystemExit(f"no runner for an example in {language}")
    started = time.monotonic()
    result = subprocess.run(command, env=env, cwd=scratch, capture_output=True, text=True,
                            timeout=TIMEOUT)
    return result, time.monotonic() - started


def scratch_environment(scratch: str, cli: str, library: str, python: str) -> dict:
    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("http_proxy", "https_proxy", "all_proxy") and k != "TRELLYBRIDGE_PACE"}
    return dict(env, HOME=scratch, XDG_CONFIG_HOME=os.path.join(scratch, "config"),
                XDG_DATA_HOME=os.path.join(scratch, "data"),
                TRELLYBRIDGE_DRIVE_C=os.path.join(scratch, "drive_c"),
                TRELLYBRIDGE_LIBRARY=library, PYTHONPATH=python,
                LD_LIBRARY_PATH=os.path.dirname(library),
                PATH=os.path.dirname(cli) + os.pathsep + os.environ["PATH"])


def main() -> int:
    readme, cli, library, include, python = map(os.path.abspath, sys.argv[1:6])
    enter_private_network()
    with open(readme) as f:
        blocks = BLOCK.findall(f.read())
    languages = {language for kind, language, _ in blocks if kind == "example"}
    if not {"c", "cpp", "python", "sh"} <= languages:
        print(f"README examples cover {sorted(languages)}, not C, C++, Python and shell")
        return 1
    failures = number = 0
    simulator_code = None
    for kind, language, code in blocks:
        code = code.replace(BUILT_COMMAND, cli)
        if kind == "simulator":
            simulator_code = code
            continue
        number += 1
        if simulator_code is None and "vendor-sim" not in code:
            simulator_code = "trellybridge vendor-sim --port 9991"
        with tempfile.TemporaryDirectory(prefix="trellybridge-readme-") as scratch:
            os.makedirs(os.path.join(scratch, "drive_c"))
            env = scratch_environment(scratch, cli, library, python)
            simulator, printed = start_simulator(simulator_code, env, scratch) if simulator_code else (None, "")
            simulator_code = None
            try:
                result, took = run_block(language, as_printed(code, printed), scratch, env,
                                         {"include": include, "library": library})
            finally:
                if simulator:
                    stop(simulator)
        ok = result.returncode == 0 and "DOE" in result.stdout
        print(f"example {number} ({language}): {f'found DOE in {took:.2f} s' if ok else 'FAILED'}")
        if not ok:
            failures += 1
            print(result.stdout + result.stderr)
    print(f"README examples: {number - failures} of {number} found DOE")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
