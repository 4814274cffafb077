"""The Python binding against the freshly built library (TRELLYBRIDGE_LIBRARY) and the
vendor simulator of the trellybridge command (TRELLYBRIDGE_CLI)."""

import os
import select
import socket
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import trellybridge

CLI = os.environ.get("TRELLYBRIDGE_CLI", "trellybridge")
FORMAT_DATA = Path(os.environ.get("TRELLYBRIDGE_FORMAT_DATA",
                                  Path(__file__).resolve().parents[2] / "tests/formats/data"))

QUICK = {"DisplayProperties": "false", "AllowedRetries": "2", "SerialTimeout": "2",
         "NetworkTimeout": "2", "TimeDelay": "100", "VendorRequestTag": "<%DYNAMIC%>",
         "EOLCharacter": "13"}


_sandbox = tempfile.TemporaryDirectory(prefix="trellybridge-python-")


def setUpModule() -> None:
    # Drive C (logs) and the settings store in a folder of the test's own.
    os.environ["TRELLYBRIDGE_DRIVE_C"] = os.path.join(_sandbox.name, "drive_c")
    os.environ["XDG_CONFIG_HOME"] = os.path.join(_sandbox.name, "config")
    os.makedirs(os.environ["TRELLYBRIDGE_DRIVE_C"])


def tearDownModule() -> None:
    _sandbox.cleanup()


def start_simulator(*options: str) -> tuple[subprocess.Popen, int]:
    """The simulator on a free loopback port, for at most a minute."""
    process = subprocess.Popen([CLI, "vendor-sim", "--port", "0", "--run-for", "60", *options],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    deadline = time.monotonic() + 30  # a loaded machine can take seconds to start it
    while time.monotonic() < deadline:
        ready, _, _ = select.select([process.stdout], [], [], deadline - time.monotonic())
        if not ready:
            break
        line = process.stdout.readline()
        if line.startswith("listening on 127.0.0.1:"):
            return process, int(line.split(":")[1].split()[0])
        if not line:
            break
    process.kill()
    process.wait(5)
    raise RuntimeError("gave up after 30 s waiting for the simulator's \"listening on\" line")


class OverTcp(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        cls.simulator, cls.port = start_simulator()

    @classmethod
    def tearDownClass(cls) -> None:
        cls.simulator.terminate()
        cls.simulator.wait(10)
        cls.simulator.stdout.close()

    def fetch(self, patient_id: str) -> trellybridge.Patient:
        return trellybridge.get_patient(PatientID=patient_id, NetworkBridgeType="TCPIP",
                                        TCPRemoteHostName="127.0.0.1",
                                        TCPRemotePorts=str(self.port), VendorFormatType="HL7",
                                        EOFCharacter="28", **QUICK)

    def test_fetches_a_patient(self) -> None:
        patient = self.fetch("12345")
        self.assertTrue(patient.found)
        self.assertEqual((patient["p1PatientLastName"], patient["p1PatientFirstName"]),
                         ("DOE", "JOHN"))
        self.assertEqual(len(patient.properties), 119)
        self.assertEqual(patient.errors, [])

    def test_a_patient_the_vendor_lacks_is_a_result_not_an_exception(self) -> None:
        patient = self.fetch("99999")
        self.assertFalse(patient.found)
        self.assertEqual(patient["p1PatientLastName"], "")
        self.assertEqual(patient["ErrorCodes"], patient["ErrorDescriptions"])
        self.assertIn("holds no patient 99999", patient.failure)
        self.assertEqual(patient.failure_kind, "not on file")

    def test_the_required_settings_alone_find_the_patient(self) -> None:
        os.environ["TRELLYBRIDGE_PACE"] = "fast"
        try:
            patient = trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                               TCPRemoteHostName="127.0.0.1",
                                               TCPRemotePorts=str(self.port),
                                               VendorFormatType="HL7", check=True)
        finally:
            del os.environ["TRELLYBRIDGE_PACE"]
        self.assertEqual(patient["p1PatientLastName"], "DOE")
        self.assertEqual((patient.failure, patient.failure_notes), ("", []))

    def test_check_raises_what_the_failure_says(self) -> None:
        with self.assertRaises(trellybridge.PatientNotFound) as lacking:
            trellybridge.get_patient(PatientID="99999", NetworkBridgeType="TCPIP",
                                     TCPRemoteHostName="127.0.0.1", TCPRemotePorts=str(self.port),
                                     VendorFormatType="HL7", check=True, **QUICK)
        self.assertIn("holds no patient 99999", lacking.exception.reason)
        with socket.socket() as unused:  # a port nobody listens on
            unused.bind(("127.0.0.1", 0))
            refused_port = unused.getsockname()[1]
        with self.assertRaises(trellybridge.VendorUnreachable) as down:
            trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                     TCPRemoteHostName="127.0.0.1",
                                     TCPRemotePorts=str(refused_port), VendorFormatType="HL7",
                                     check=True, **QUICK)
        self.assertIn("Connection refused", down.exception.reason)
        self.assertTrue(down.exception.patient.failure_notes)

    def test_missing_settings_are_named_before_anything_is_sent(self) -> None:
        with self.assertRaisesRegex(ValueError, "NetworkBridgeType is not set; "
                                                "VendorFormatType is not set"):
            trellybridge.get_patient(PatientID="12345")
        with self.assertRaisesRegex(ValueError, "TCPRemoteHostName is not set"):
            trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                     VendorFormatType="HL7", defaults=False)


class Binding(unittest.TestCase):
    def test_fetches_a_patient_through_shared_folders(self) -> None:
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run([CLI, "vendor-sim", "--format", "XML", "--folders", folder,
                            "--run-for", "0.1"], check=True, capture_output=True, timeout=30)
            patient = trellybridge.get_patient(PatientID="30002", NetworkBridgeType="FOLDERS",
                                               VendorFormatType="XML", EOFCharacter="126",
                                               VendorResultsPath=folder, **QUICK)
        self.assertTrue(patient.found)
        self.assertEqual(patient["p1PatientLastName"], "OKAFOR")
        bundle = patient.to_fhir("urn:example:mrn")
        self.assertEqual(bundle["type"], "collection")
        resources = {e["resource"]["resourceType"]: e["resource"] for e in bundle["entry"]}
        self.assertEqual(resources["Patient"]["name"][0]["family"], "OKAFOR")
        self.assertEqual(resources["Patient"]["identifier"][0],
                         {"system": "urn:example:mrn", "value": "30002"})
        self.assertEqual(resources["Coverage"]["payor"][0]["reference"],
                         next(e["fullUrl"] for e in bundle["entry"]
                              if e["resource"]["resourceType"] == "Organization"))

    def test_parses_a_saved_answer_of_each_format(self) -> None:
        for format, case in (("HL7", "hl7/full-three-insurances"),
                             ("STANDARD", "standard/delimited-full-record-set"),
                             ("SCAN", "scan/every-tag"), ("XML", "xml/full-document")):
            with self.subTest(format=format):
                settings = {"PatientID": "12345", "VendorName": "ACME",
                            "VendorRequestTag": "<%DYNAMIC%>", "EOFCharacter": "126",
                            "EOLCharacter": "13", "DisplayDebugger": "false",
                            "MEDICNumberDefault": ""}
                found, expected = True, {}
                for line in (FORMAT_DATA / f"{case}.expect").read_text().splitlines():
                    if line.startswith("set "):
                        name, value = line[4:].split("=", 1)
                        settings[name] = unescape(value)
                    elif line.startswith("found "):
                        found = line == "found true"
                    elif "=" in line and not line.startswith("#"):
                        name, value = line.split("=", 1)
                        expected[name] = unescape(value)
                answer = (FORMAT_DATA / f"{case}.answer").read_bytes()
                patient = trellybridge.parse(answer, format, **settings)
                self.assertEqual(patient.found, found)
                self.assertTrue(expected)
                for name, value in expected.items():
                    self.assertEqual(patient[name], value, name)

    def test_an_unknown_setting_name_is_misuse(self) -> None:
        with self.assertRaises(trellybridge.UnknownSettingError) as raised:
            trellybridge.get_patient(PatientID="12345", TcpRemotePort="9991")
        self.assertIn("TcpRemotePort", str(raised.exception))
        with self.assertRaises(trellybridge.UnknownSettingError):
            trellybridge.parse("", "HL7", NoSuchSetting="x")

    def test_members_by_name_and_a_failing_call(self) -> None:
        with trellybridge.TrellyBridgeComm() as comm:
            self.assertEqual(comm.GetControlVersion(), 2013.1)
            comm.p1PatientLastName = "Smith"
            self.assertEqual(comm.P1PATIENTLASTNAME, "Smith")
            self.assertEqual(comm.findUSBDriveLetter("\\no\\such\\record.dat"), "")
            with self.assertRaises(trellybridge.CallFailed) as raised:
                comm.getUSBPatientData("/nonexistent/record.dat", "/nonexistent/out.dat")
            self.assertEqual(raised.exception.number, 53)
            with self.assertRaises(AttributeError):
                comm.NoSuchMethod()


def unescape(value: str) -> str:
    return (value.replace("\\r", "\r").replace("\\n", "\n").replace("\\t", "\t")
            .replace("\\\\", "\\"))


if __name__ == "__main__":
    unittest.main()
