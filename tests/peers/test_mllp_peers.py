"""GetPatient through the trellybridge command against HL7 listeners the project did
not write (tests/peers/mllp_peer.js, run by Node.js with the packages scripts/setup
installs): the record fetched is the record the command reads from the same answer
saved to a file, field by field, and acknowledgements end as what they say.

    TRELLYBRIDGE_CLI=... NODE_PATH=.cache/peers/node_modules python3 test_mllp_peers.py
"""

import json
import os
import select
import subprocess
import tempfile
import unittest
from pathlib import Path

CLI = os.environ.get("TRELLYBRIDGE_CLI", "trellybridge")
PEER = Path(__file__).with_name("mllp_peer.js")
FRAMING = ("\x0b", "\x1c")


def run(*arguments: str) -> subprocess.CompletedProcess:
    return subprocess.run([CLI, *arguments], capture_output=True, text=True,
                          encoding="latin-1", timeout=120, check=False)


class Peer:
    """One listener on a free loopback port, until the test closes its input."""

    def __init__(self, library: str, answer: str, reply: str) -> None:
        self.process = subprocess.Popen(
            ["node", str(PEER), library, answer, reply], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 30)
        line = self.process.stdout.readline() if ready else ""
        if not line.startswith("listening "):
            self.close()
            raise RuntimeError(f"{library} listener did not start: {line!r} "
                               f"{self.process.stderr.read()}")
        self.port = line.split()[1]

    def close(self) -> str:
        """Stops the listener (its input closes); what it printed on stderr."""
        try:
            _, err = self.process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            _, err = self.process.communicate()
        return err


class ThirdPartyListeners(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        cls.folder = tempfile.TemporaryDirectory(prefix="trellybridge-peers-")
        folder = Path(cls.folder.name)
        os.environ["TRELLYBRIDGE_DRIVE_C"] = str(folder / "drive_c")
        os.environ["XDG_CONFIG_HOME"] = str(folder / "config")
        (folder / "drive_c").mkdir()
        cls.answer = str(folder / "12345.hl7")
        made = run("vendor-sim", "--answer-once", "--account", "12345", "--results", cls.answer)
        assert made.returncode == 0, made.stderr
        parsed = run("parse", "--format", "HL7", "--json", "--set", "PatientID=12345",
                     cls.answer)
        assert parsed.returncode == 0, parsed.stderr
        cls.expected = json.loads(parsed.stdout)["properties"]

    @classmethod
    def tearDownClass(cls) -> None:
        cls.folder.cleanup()

    def fetch(self, library: str, reply: str, keywords: str) -> tuple[int, dict, str]:
        peer = Peer(library, self.answer, reply)
        try:
            # The defaults, with the version whose acknowledgements both libraries build,
            # and one short attempt: a listener that never answers is a row too.
            fetched = run("get-patient", "--json", "--fast", "--set", "PatientID=12345",
                          "--set", "NetworkBridgeType=TCPIP", "--set", "VendorFormatType=HL7",
                          "--set", "TCPRemoteHostName=127.0.0.1",
                          "--set", f"TCPRemotePorts={peer.port}",
                          "--set", "VendorFormatVersion=2.3", "--set", "AllowedRetries=0",
                          "--set", "SerialTimeout=1", "--set", f"HTTPSSubjectCN={keywords}")
        finally:
            said = peer.close()
        return fetched.returncode, json.loads(fetched.stdout), said

    def test_each_listener_answers_as_it_frames(self) -> None:
        rows = [
            # library, reply, keywords, exit status, failure kind, failure words
            ("strict", "patient", "{MLLP}", 0, "", ""),
            ("lenient", "patient", "{MLLP}", 0, "", ""),
            # The bytes the vendors built for this system expect, framing and all.
            ("lenient", "patient", "", 0, "", ""),
            ("strict", "patient", "", 3, "unreachable", "no answer from 127.0.0.1"),
            ("strict", "AE", "{MLLP}", 3, "refused", "(acknowledgement AE)"),
            ("strict", "AR", "{MLLP}", 3, "refused", "(acknowledgement AR)"),
            ("strict", "NF", "{MLLP}", 1, "not on file", "holds no patient 12345"),
            ("lenient", "AE", "{MLLP}", 3, "refused", "(acknowledgement AE)"),
            ("lenient", "AR", "{MLLP}", 3, "refused", "(acknowledgement AR)"),
            ("lenient", "NF", "{MLLP}", 1, "not on file", "holds no patient 12345"),
        ]
        for library, reply, keywords, status, kind, words in rows:
            with self.subTest(library=library, reply=reply, keywords=keywords):
                code, result, said = self.fetch(library, reply, keywords)
                self.assertEqual(code, status, result["failure"])
                self.assertIn(words, result["failure"])
                self.assertEqual(result["failure_kind"], kind)
                self.assertEqual("query" in said, status != 3 or kind == "refused", said)
                if status != 0:
                    continue
                for name, value in self.expected.items():
                    if name == "DebugDataDump":
                        continue
                    self.assertEqual(result["properties"][name], value, name)
                    self.assertFalse(any(c in value for c in FRAMING), name)


if __name__ == "__main__":
    unittest.main()
