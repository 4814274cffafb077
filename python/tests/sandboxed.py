"""Runs the command after it in a sandbox of its own: drive C (logs) and the settings store
in a temporary folder, named in the command's environment, and no TRELLYBRIDGE_PACE
inherited; the folder goes when the command ends. The binding's tests run this way, so
that they never write the user's logs or settings, nor change their own environment."""

import os
import subprocess
import sys
import tempfile


def main() -> int:
    if len(sys.argv) < 2:
        print("usage: sandboxed.py COMMAND [ARGUMENT]...", file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory(prefix="trellybridge-python-") as sandbox:
        drive_c = os.path.join(sandbox, "drive_c")
        os.makedirs(drive_c)
        environment = {k: v for k, v in os.environ.items() if k != "TRELLYBRIDGE_PACE"}
        environment |= {"TRELLYBRIDGE_DRIVE_C": drive_c,
                        "XDG_CONFIG_HOME": os.path.join(sandbox, "config"),
                        "TRELLYBRIDGE_TEST_SANDBOX": sandbox}
        return subprocess.run(sys.argv[1:], env=environment, check=False).returncode


if __name__ == "__main__":
    sys.exit(main())
