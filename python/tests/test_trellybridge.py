"""The Python binding against the freshly built library (TRELLYBRIDGE_LIBRARY) and the
vendor simulator of the trellybridge command (TRELLYBRIDGE_CLI)."""

import json
import os
import select
import socket
import subprocess
import sys
import tempfile
import threading
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


# Drive C (logs) and the settings store are in the folder sandboxed.py made for the run.
SANDBOX = os.environ.get("TRELLYBRIDGE_TEST_SANDBOX", "")


def setUpModule() -> None:
    if not SANDBOX:
        raise RuntimeError("run the tests through python/tests/sandboxed.py, which keeps "
                           "them off the user's logs and settings")


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
        with self.assertRaises(trellybridge.PatientNotFound):  # no phantom patient in FHIR
            patient.to_fhir()

    def test_the_required_settings_alone_find_the_patient(self) -> None:
        patient = trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                           TCPRemoteHostName="127.0.0.1",
                                           TCPRemotePorts=str(self.port), VendorFormatType="HL7",
                                           check=True)
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
        # A vendor that refuses the query is no more "not found" than one that is down.
        refusing, port = start_simulator("--fault", "error-ack")
        try:
            with self.assertRaises(trellybridge.VendorRefused) as refused:
                trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                         TCPRemoteHostName="127.0.0.1", TCPRemotePorts=str(port),
                                         VendorFormatType="HL7", check=True, **QUICK)
        finally:
            refusing.terminate()
            refusing.wait(10)
            refusing.stdout.close()
        self.assertIsInstance(refused.exception, trellybridge.VendorUnreachable)
        self.assertIn("UNKNOWN KEY IDENTIFIER", refused.exception.reason)

    def test_missing_settings_are_named_before_anything_is_sent(self) -> None:
        with self.assertRaisesRegex(ValueError, "NetworkBridgeType is not set; "
                                                "VendorFormatType is not set"):
            trellybridge.get_patient(PatientID="12345")
        with self.assertRaisesRegex(ValueError, "TCPRemoteHostName is not set"):
            trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                     VendorFormatType="HL7", defaults=False)

    def test_settings_that_can_never_work_are_named_before_anything_is_sent(self) -> None:
        for setting, named in ((("AllowedRetries", "-1"), "AllowedRetries must be a whole"),
                               (("TCPRemotePorts", "99x"), "TCPRemotePorts must be port numbers")):
            with self.subTest(setting=setting), self.assertRaisesRegex(ValueError, named):
                trellybridge.get_patient(**{"PatientID": "12345", "NetworkBridgeType": "TCPIP",
                                            "TCPRemoteHostName": "127.0.0.1",
                                            "VendorFormatType": "HL7", setting[0]: setting[1]})

    def test_a_vendor_program_is_handed_the_identifier_without_a_request_file(self) -> None:
        folder = Path(SANDBOX)
        program, results = folder / "vendor.sh", folder / "patient.dat"
        program.write_text(f'#!/bin/sh\nexec {CLI} vendor-sim --answer-once --account "$1" '
                           f"--results {results}\n")
        program.chmod(0o700)
        for defaults in (True, False):
            with self.subTest(defaults=defaults):
                results.unlink(missing_ok=True)
                patient = trellybridge.get_patient(
                    defaults=defaults, PatientID="12345", NetworkBridgeType="VENDOR",
                    VendorFormatType="HL7", VendorApplicationPath=str(program),
                    VendorResultsPath=str(results))
                self.assertEqual(patient["p1PatientLastName"], "DOE", patient.failure)

    def test_an_int_beyond_the_components_range_is_refused_not_wrapped(self) -> None:
        for value in (2**64 + 12345, 2**63, -(2**63) - 1):
            with self.subTest(value=value), self.assertRaises(OverflowError):
                trellybridge.get_patient(PatientID=value, NetworkBridgeType="TCPIP",
                                         TCPRemoteHostName="127.0.0.1",
                                         TCPRemotePorts=str(self.port), VendorFormatType="HL7",
                                         EOFCharacter="28", **QUICK)
        with trellybridge.TrellyBridgeComm() as comm, self.assertRaises(OverflowError):
            comm.p1PatientUniqueID = 2**64 + 12345
        self.assertFalse(self.fetch(2**63 - 1).found)  # the largest is passed on

    def test_the_pace_is_chosen_per_call(self) -> None:
        # Fast unless the call, or else TRELLYBRIDGE_PACE, asks for the standard schedule;
        # the environment is never changed for a call (other threads read it). Each case
        # runs in a process started with the environment it names.
        log = Path(os.environ["TRELLYBRIDGE_DRIVE_C"]) / "BRIDGEDEBUG.log"
        call = ("import json, os, sys, trellybridge\n"
                "before = os.environ['TRELLYBRIDGE_PACE']\n"
                "patient = trellybridge.get_patient(pace=sys.argv[1] or None,"
                " **json.loads(sys.argv[2]))\n"
                "print(json.dumps([patient.found, before, os.environ['TRELLYBRIDGE_PACE']]))\n")
        settings = {"PatientID": "12345", "NetworkBridgeType": "TCPIP",
                    "TCPRemoteHostName": "127.0.0.1", "TCPRemotePorts": str(self.port),
                    "VendorFormatType": "HL7", "EOFCharacter": "28", **QUICK,
                    "DisplayDebugger": "true"}
        for pace, environment, logged in ((None, "", True), ("standard", "", False),
                                          (None, "standard", False), ("fast", "standard", True)):
            with self.subTest(pace=pace, environment=environment):
                run = subprocess.run(
                    [sys.executable, "-c", call, pace or "", json.dumps(settings)],
                    env=os.environ | {"TRELLYBRIDGE_PACE": environment},
                    capture_output=True, text=True, timeout=60, check=False)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(json.loads(run.stdout), [True, environment, environment])
                last_request = log.read_bytes().rsplit(b"PID::", 1)[-1]
                self.assertEqual(b"pace:fast" in last_request, logged)
        for pace in ("slow", "STANDARD"):
            with self.subTest(pace=pace), self.assertRaises(ValueError):
                trellybridge.get_patient(pace=pace, PatientID="12345")

    def test_a_time_bound_ends_the_call(self) -> None:
        patient = trellybridge.get_patient(timeout=60, **self.settings("12345"))
        self.assertTrue(patient.found)
        self.assertEqual(patient["p1PatientLastName"], "DOE")
        silent, port = start_simulator("--fault", "silent")
        try:
            settings = self.settings("12345") | {"TCPRemotePorts": str(port),
                                                 "TimeDelay": "1000", "SerialTimeout": "5"}
            # The request alone would wait about 15 s for the silent vendor: it is cancelled.
            started = time.monotonic()
            with self.assertRaises(TimeoutError):
                trellybridge.get_patient(timeout=0.5, **settings)
            self.assertLess(time.monotonic() - started, 10)
            # Any thread may cancel the request an instance is running; it ends at once.
            with trellybridge.TrellyBridgeComm() as comm:
                canceller = threading.Timer(0.5, comm.cancel)
                canceller.start()
                started = time.monotonic()
                found = comm.GetPatient(*(settings.get(n) for n in trellybridge.SETTING_NAMES))
                canceller.join()
                self.assertLess(time.monotonic() - started, 10)
                self.assertIs(found, False)
                self.assertIn("the request was cancelled", comm.get_property("FailureNotes"))
        finally:
            silent.kill()
            silent.wait(10)
            silent.stdout.close()

    def settings(self, patient_id: str) -> dict[str, str]:
        return {"PatientID": patient_id, "NetworkBridgeType": "TCPIP",
                "TCPRemoteHostName": "127.0.0.1", "TCPRemotePorts": str(self.port),
                "VendorFormatType": "HL7", "EOFCharacter": "28", **QUICK}


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
        self.assertEqual(resources["Patient"]["identifier"][0]["system"], "urn:example:mrn")
        self.assertEqual(resources["Patient"]["identifier"][0]["value"], "30002")
        with self.assertRaisesRegex(ValueError, "urn:\u00e9"):
            patient.to_fhir("urn:\u00e9")
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

    def test_an_unknown_member_raises_attribute_error_naming_the_nearest(self) -> None:
        with trellybridge.TrellyBridgeComm() as comm:
            for misspelt, nearest in (("p1PatientLastNmae", "p1PatientLastName"),
                                      ("GetPatinet", "GetPatient"), ("zzzz", None)):
                with self.subTest(misspelt), self.assertRaises(AttributeError) as raised:
                    getattr(comm, misspelt)
                self.assertEqual(nearest is not None and f"'{nearest}'" in str(raised.exception),
                                 nearest is not None, str(raised.exception))
            with self.assertRaises(AttributeError) as raised:
                comm.i1InsuredCompanyNam = "ACME"
            self.assertIn("'i1InsuredCompanyName'", str(raised.exception))
            self.assertFalse(hasattr(comm, "p1BillType"))  # a name for writing only
        with self.assertRaises(trellybridge.UnknownSettingError) as raised:
            trellybridge.get_patient(PatientId="1", TCPRemotePort="9991")
        self.assertIn("'TCPRemotePorts'", str(raised.exception))

    def test_names_come_from_the_library(self) -> None:
        settings, properties = trellybridge.SETTING_NAMES, trellybridge.PROPERTY_NAMES
        self.assertEqual((len(settings), len(set(settings))), (50, 50))
        self.assertEqual((len(properties), len(set(properties))), (119, 119))
        self.assertEqual(trellybridge.FORMATS, ("HL7", "STANDARD", "SCAN", "XML"))
        self.assertEqual(trellybridge.BRIDGES,
                         ("SERIAL", "TCPIP", "HTTPS", "VENDOR", "POLLING", "FOLDERS", "USB"))
        with trellybridge.TrellyBridgeComm() as comm:
            self.assertEqual(list(comm.properties()), list(properties))
            for name in trellybridge.METHOD_NAMES:
                self.assertTrue(callable(getattr(comm, name)), name)

    def test_errors_are_read_entry_by_entry(self) -> None:
        message = 'the vendor said "no">"</error>\r\n'
        with trellybridge.TrellyBridgeComm() as comm:
            comm.ErrorCodes = (f'<error id="201" description="{message}">{message}</error>\r\n'
                               '<error id="-1" description="">x</error>\r\n')
            self.assertEqual(comm.errors(), [trellybridge.ErrorEntry(201, message)])

    def test_a_missing_library_is_named_with_where_it_was_looked_for(self) -> None:
        run = subprocess.run(
            [sys.executable, "-c", "import trellybridge; trellybridge.TrellyBridgeComm()"],
            env=os.environ | {"TRELLYBRIDGE_LIBRARY": "/nonexistent/libtrellybridge.so.2013"},
            capture_output=True, text=True, timeout=60)
        self.assertNotEqual(run.returncode, 0)
        last_line = run.stderr.strip().splitlines()[-1]
        self.assertIn("LibraryNotFoundError", last_line)
        self.assertIn("/nonexistent/libtrellybridge.so.2013", last_line)
        self.assertIn("TRELLYBRIDGE_LIBRARY", last_line)

    def test_version_is_the_librarys(self) -> None:
        with trellybridge.TrellyBridgeComm() as comm:
            self.assertEqual(float(trellybridge.__version__), comm.GetControlVersion())


def unescape(value: str) -> str:
    return (value.replace("\\r", "\r").replace("\\n", "\n").replace("\\t", "\t")
            .replace("\\\\", "\\"))


if __name__ == "__main__":
    unittest.main()
