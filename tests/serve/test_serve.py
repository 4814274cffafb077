"""trellybridge serve in front of the vendor simulator, on loopback: a FHIR client the
project did not write (fhir-kit-client, Node.js) reads it over TLS with a token; every
answer is checked by the project's FHIR R4 validators; each refusal has its status; and
hostile clients (no or wrong credentials, an expired certificate, path tricks, a 1 MB
header, 10,000 parameters, 10,000 idle connections, a client that reads a byte a
second, one that sends a byte at a time) are refused or bounded while the service keeps
answering others and its memory stays bounded.

    TRELLYBRIDGE_CLI=... FHIR_CLIENT_MODULES=.cache/serve/node_modules python3 test_serve.py
"""

import http.client
import json
import os
import re
import resource
import select
import signal
import socket
import ssl
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

CLI = os.environ.get("TRELLYBRIDGE_CLI", "trellybridge")
HERE = Path(__file__).parent
CLIENT_MODULES = os.environ.get("FHIR_CLIENT_MODULES", str(HERE.parents[1] / ".cache/serve/node_modules"))
PYTHON = os.environ.get("TRELLYBRIDGE_PYTHON", "python3")
FHIR_VALIDATOR = os.environ.get("TRELLYBRIDGE_FHIR_VALIDATOR")
FHIR_SCHEMA = os.environ.get("TRELLYBRIDGE_FHIR_SCHEMA")
FHIR_INVARIANTS = os.environ.get("TRELLYBRIDGE_FHIR_INVARIANTS")
FHIR_MODULES = os.environ.get("TRELLYBRIDGE_FHIR_MODULES")
NODE = os.environ.get("TRELLYBRIDGE_NODE", "node")
# Short limits, so that each time limit is seen within seconds.
TIMEOUTS = ["--request-timeout", "2", "--idle-timeout", "3", "--send-timeout", "3"]
# Memory bounds hold in the sanitizer build too, where freed memory waits in a quarantine
# (256 MiB by default) before it is reused.
os.environ["ASAN_OPTIONS"] = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                     "quarantine_size_mb=8"]))
# Idle connections held at once: 10,000 where the descriptor limit allows them.
_, HARD_LIMIT = resource.getrlimit(resource.RLIMIT_NOFILE)
IDLE_CONNECTIONS = 10000 if HARD_LIMIT == resource.RLIM_INFINITY else min(10000, HARD_LIMIT - 200)


def openssl(folder: Path, *arguments: str) -> None:
    subprocess.run(["openssl", *arguments], cwd=folder, check=True, capture_output=True)


def make_certificates(folder: Path) -> None:
    """An authority with a server certificate and client certificates (one allowed, one
    whose subject is not, one expired), and a client certificate of another authority."""
    for ca in ("ca", "other-ca"):
        openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{ca}.key",
                "-out", f"{ca}.crt", "-days", "2", "-subj", f"/CN=TrellyBridge test {ca}")
    (folder / "server.ext").write_text("subjectAltName=IP:127.0.0.1\n")
    (folder / "client.ext").write_text("extendedKeyUsage=clientAuth\n")
    for name, ca, subject, ext in (("server", "ca", "/CN=127.0.0.1", "server.ext"),
                                   ("orders", "ca", "/CN=orders-app", "client.ext"),
                                   ("kiosk", "ca", "/CN=kiosk", "client.ext"),
                                   ("stranger", "other-ca", "/CN=orders-app", "client.ext")):
        openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key",
                "-out", f"{name}.csr", "-subj", subject)
        openssl(folder, "x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.crt", "-CAkey",
                f"{ca}.key", "-CAcreateserial", "-out", f"{name}.crt", "-days", "2",
                "-extfile", ext)
    # openssl x509 cannot date a certificate in the past; openssl ca can.
    (folder / "index.txt").write_text("")
    (folder / "serial").write_text("1000\n")
    (folder / "ca.cnf").write_text(
        "[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
        "default_md=sha256\npolicy=any\n[any]\ncommonName=supplied\n")
    openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "expired.key", "-out",
            "expired.csr", "-subj", "/CN=orders-app")
    openssl(folder, "ca", "-batch", "-config", "ca.cnf", "-cert", "ca.crt", "-keyfile", "ca.key",
            "-in", "expired.csr", "-out", "expired.crt", "-notext", "-startdate",
            "20200101000000Z", "-enddate", "20200102000000Z")
    for key in folder.glob("*.key"):
        key.chmod(0o600)


def closed_by_peer(connection: socket.socket) -> bool:
    try:
        return connection.recv(1) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True


class Process:
    """A trellybridge program that prints its address on its first line."""

    def __init__(self, arguments, pattern, env=None):
        self.process = subprocess.Popen([CLI, *arguments], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, env=env)
        ready, _, _ = select.select([self.process.stdout], [], [], 30)
        self.first = self.process.stdout.readline() if ready else ""
        found = re.search(pattern, self.first)
        if not found:
            self.process.kill()
            raise RuntimeError(f"{arguments[0]} did not start: {self.first!r} "
                               f"{self.process.stderr.read()}")
        self.port = int(found.group(1))
        self.lines = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line)

    def memory_kib(self) -> int:
        status = Path(f"/proc/{self.process.pid}/status").read_text()
        return int(re.search(r"VmRSS:\s+(\d+)", status).group(1))

    def stop(self) -> str:
        self.process.send_signal(signal.SIGTERM)
        try:
            _, err = self.process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            _, err = self.process.communicate()
        return err


class Answer:
    def __init__(self, status, headers, body):
        self.status, self.headers, self.body = status, headers, body

    def json(self):
        return json.loads(self.body)

    def issue(self):
        return self.json()["issue"][0]


class ServeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="trellybridge-serve-")
        folder = cls.folder_path = Path(cls.folder.name)
        os.environ["TRELLYBRIDGE_DRIVE_C"] = str(folder / "drive_c")
        os.environ["XDG_CONFIG_HOME"] = str(folder / "config")
        (folder / "drive_c").mkdir()
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
        make_certificates(folder)
        cls.token = "a" * 10 + os.urandom(24).hex()
        cls.tokens = folder / "tokens"
        cls.tokens.write_text(f"# who may read\norders {cls.token}\nbilling {'b' * 40}\n")
        cls.tokens.chmod(0o600)
        cls.audit = folder / "audit.log"
        cls.vendor = Process(["vendor-sim", "--port", "0"], r"listening on 127\.0\.0\.1:(\d+)")
        cls.silent = Process(["vendor-sim", "--port", "0", "--fault", "silent"],
                             r"listening on 127\.0\.0\.1:(\d+)")
        site = folder / "site.conf"
        site.write_text("# the practice system\nNetworkBridgeType=TCPIP\nTCPRemoteHostName=127.0.0.1\n"
                        f"TCPRemotePorts={cls.vendor.port}\nVendorFormatType=HL7\nSerialTimeout=1\n")
        cls.serve = cls.start_serve(
            "--config", str(site), "--certificate", str(folder / "server.crt"), "--key",
            str(folder / "server.key"), "--tokens", str(cls.tokens), "--client-ca",
            str(folder / "ca.crt"), "--client-subject", "CN=orders-app", "--audit-log",
            str(cls.audit), "--max-connections", "300", *TIMEOUTS)
        # The silent vendor, asked by one request at a time with one more in line.
        cls.slow = cls.start_serve(
            "--set", "NetworkBridgeType=TCPIP", "--set", "TCPRemoteHostName=127.0.0.1",
            "--set", f"TCPRemotePorts={cls.silent.port}", "--set", "VendorFormatType=HL7",
            "--set", "SerialTimeout=1", "--set", "AllowedRetries=0",
            "--certificate", str(folder / "server.crt"), "--key", str(folder / "server.key"),
            "--tokens", str(cls.tokens), "--max-vendor-requests", "1", "--queue", "1",
            "--deadline", "4")
        # Shared folders, which cannot be searched by name; plain HTTP on loopback.
        (folder / "results").mkdir()
        cls.files = cls.start_serve(
            "--set", "NetworkBridgeType=FOLDERS", "--set", f"VendorResultsPath={folder / 'results'}/",
            "--set", "VendorFormatType=XML", "--set", "NetworkTimeout=1", "--set", "TimeDelay=200",
            "--tokens", str(cls.tokens), "--insecure-loopback", scheme="http")
        cls.context = ssl.create_default_context(cafile=str(folder / "ca.crt"))

    @classmethod
    def start_serve(cls, *arguments, scheme="https"):
        return Process(["serve", "--port", "0", *arguments],
                       scheme + r"://127\.0\.0\.1:(\d+)/")

    @classmethod
    def tearDownClass(cls):
        errors = [process.stop() for process in (cls.serve, cls.slow, cls.files, cls.vendor,
                                                 cls.silent)]
        cls.folder.cleanup()
        # In the sanitizer build, what they found is written as the programs end.
        found = [e for e in errors if "Sanitizer" in e or "runtime error:" in e]
        if found:
            raise AssertionError("\n".join(found)[-4000:])

    # ---- clients ----

    def client_context(self, certificate=None):
        context = ssl.create_default_context(cafile=str(self.folder_path / "ca.crt"))
        if certificate:
            context.load_cert_chain(self.folder_path / f"{certificate}.crt",
                                    self.folder_path / f"{certificate}.key")
        return context

    def get(self, path, server=None, token="token", certificate=None, headers=None,
            method="GET", timeout=30) -> Answer:
        server = server or self.serve
        sent = dict(headers or {})
        if token:
            sent["Authorization"] = "Bearer " + (self.token if token == "token" else token)
        if server is self.files:
            connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=timeout)
        else:
            connection = http.client.HTTPSConnection("127.0.0.1", server.port, timeout=timeout,
                                                     context=self.client_context(certificate))
        try:
            connection.request(method, path, headers=sent)
            response = connection.getresponse()
            return Answer(response.status, dict(response.getheaders()), response.read())
        finally:
            connection.close()

    def raw(self, server=None):
        """A TLS socket to the service, handshake done."""
        server = server or self.serve
        plain = socket.create_connection(("127.0.0.1", server.port), timeout=30)
        return self.context.wrap_socket(plain, server_hostname="127.0.0.1")

    def vendor_queries(self) -> int:
        return sum("query for account" in line for line in self.vendor.lines)

    def assert_valid_fhir(self, resources: dict):
        """Each resource passes the R4 JSON schema (with references resolving inside their
        Bundle) and the R4 invariants, as every FHIR output of the project does."""
        if not (FHIR_VALIDATOR and FHIR_INVARIANTS):
            self.skipTest("the FHIR validators are not configured (run through ctest)")
        path = self.folder_path / "resources.json"
        path.write_text(json.dumps(resources))
        for command in ([PYTHON, FHIR_VALIDATOR, FHIR_SCHEMA, str(path)],
                        [NODE, FHIR_INVARIANTS, FHIR_MODULES, str(path)]):
            checked = subprocess.run(command, capture_output=True, text=True, timeout=300)
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    # ---- the FHIR client ----

    def test_fhir_client_reads_a_patient_with_the_token_and_gets_401_without(self):
        environment = dict(os.environ, NODE_EXTRA_CA_CERTS=str(self.folder_path / "ca.crt"))
        run = subprocess.run(
            [NODE, str(HERE / "fhir_client.mjs"), CLIENT_MODULES,
             f"https://127.0.0.1:{self.serve.port}", self.token, "12345"],
            capture_output=True, text=True, timeout=120, env=environment)
        self.assertEqual(run.returncode, 0, run.stderr)
        read = json.loads(run.stdout)
        self.assertEqual(read["withoutToken"], 401)
        self.assertEqual(read["metadata"]["resourceType"], "CapabilityStatement")
        self.assertEqual(read["searchset"]["total"], 1)
        patient = read["searchset"]["entry"][0]["resource"]
        self.assertEqual((patient["id"], patient["name"][0]["family"]), ("12345", "DOE"))
        self.assertEqual(read["patient"]["id"], "12345")
        kinds = [e["resource"]["resourceType"] for e in read["everything"]["entry"]]
        self.assertEqual(kinds.count("Coverage"), 2)
        self.assertIn("Practitioner", kinds)
        self.assertEqual(kinds.count("Condition"), 2)
        self.assert_valid_fhir(
            {name: read[name] for name in ("metadata", "searchset", "everything", "patient")})

    # ---- what the API answers ----

    def test_each_request_gets_its_status_and_valid_fhir(self):
        ssn = "http://hl7.org/fhir/sid/us-ssn"
        rows = [  # path, server, status, issue code or the answer's check
            ("/metadata", None, 200, lambda r: r["resourceType"] == "CapabilityStatement"),
            ("/Patient/12345", None, 200, lambda r: r["birthDate"] == "1960-01-01"),
            ("/Patient/12345/$everything", None, 200, lambda r: r["total"] == 1),
            ("/Patient?identifier=urn:trellybridge:account|20001", None, 200,
             lambda r: r["entry"][0]["resource"]["name"][0]["family"] == "RIVERA"),
            (f"/Patient?identifier={ssn}|123-45-6789", None, 200,
             lambda r: r["entry"][0]["resource"]["id"] == "12345"),
            ("/Patient?family=doe&given=jo&birthdate=1960-01-01", None, 200,
             lambda r: r["total"] == 1),
            ("/Patient?family=doe&birthdate=1999-01-01", None, 200, lambda r: r["total"] == 0),
            ("/Patient?identifier=99999", None, 200, lambda r: r["total"] == 0),
            ("/Patient/99999", None, 404, "not-found"),
            ("/Patient?identifier=http://example.org/mrn|12345", None, 400, "invalid"),
            ("/Patient?identifier=|12345", None, 400, "invalid"),
            ("/Patient?identifier=12345&family=doe", None, 400, "invalid"),
            ("/Patient?name=doe", None, 400, "invalid"),
            ("/Patient?family:exact=DOE", None, 400, "invalid"),
            ("/Patient?family=doe&family=roe", None, 400, "invalid"),
            ("/Patient?birthdate=1960-01-01", None, 400, "invalid"),
            ("/Patient?family=doe&birthdate=gt1960", None, 400, "invalid"),
            ("/Patient?family=%3Cscript%3E", None, 400, "invalid"),
            ("/Patient?identifier=12345%7CDEM", None, 400, "invalid"),
            ("/Patient/12345?_format=xml", None, 406, "not-supported"),
            ("/Observation", None, 404, "not-found"),
            ("/Patient/12345", "silent", 504, "timeout"),
            ("/Patient?family=doe", "files", 400, "not-supported"),
            ("/Patient/12345", "files", 504, "timeout"),  # no results file came
        ]
        servers = {None: self.serve, "silent": self.slow, "files": self.files}
        valid = {}
        for path, server, status, check in rows:
            with self.subTest(path=path, server=server):
                answer = self.get(path, servers[server])
                self.assertEqual(answer.status, status, answer.body[:300])
                self.assertTrue(answer.headers["Content-Type"].startswith("application/fhir+json"))
                self.assertEqual(answer.headers["Cache-Control"], "no-store")
                if callable(check):
                    self.assertTrue(check(answer.json()), answer.body[:600])
                else:
                    self.assertEqual(answer.issue()["code"], check)
                valid[f"{status} {path}"] = answer.json()
        self.assert_valid_fhir(valid)

    def test_other_methods_and_media_types_are_refused(self):
        for method, headers, status in (("POST", {}, 405), ("DELETE", {}, 405),
                                        ("GET", {"Accept": "application/fhir+xml"}, 406),
                                        ("GET", {"Accept": "text/html, */*;q=0.1"}, 200)):
            with self.subTest(method=method, headers=headers):
                answer = self.get("/metadata", method=method, headers=headers)
                self.assertEqual(answer.status, status)
        self.assertEqual(self.get("/metadata", method="POST").headers["Allow"], "GET, HEAD")

    def test_a_thread_keeps_no_patient_of_an_earlier_request(self):
        # Four vendor threads answer twelve requests, so each thread fetches a patient
        # with one insurance after one with two: it never shows the first's second one.
        for account, coverages in (("12345", 2), ("20001", 1), ("30002", 1), ("12345", 2)) * 3:
            bundle = self.get(f"/Patient/{account}/$everything").json()
            kinds = [e["resource"]["resourceType"] for e in bundle["entry"]]
            self.assertEqual(kinds.count("Coverage"), coverages, account)

    def test_a_full_line_is_answered_503_and_the_deadline_504(self):
        answers = []

        def ask():
            answers.append(self.get("/Patient/12345", self.slow))

        askers = [threading.Thread(target=ask) for _ in range(5)]
        for asker in askers:
            asker.start()
        for asker in askers:
            asker.join(60)
        statuses = sorted(a.status for a in answers)
        self.assertEqual(len(statuses), 5)
        self.assertIn(503, statuses)
        self.assertIn(504, statuses)
        busy = next(a for a in answers if a.status == 503)
        self.assertEqual(busy.headers["Retry-After"], "2")
        self.assertEqual(busy.issue()["code"], "throttled")

    def test_the_audit_log_names_who_and_what_but_no_patient(self):
        self.get("/Patient/12345")
        self.get("/Patient?family=doe")
        self.get("/Patient/12345", token="wrong-" + "x" * 30)
        lines = []
        for _ in range(50):  # the line is written as the answer goes out
            lines = self.audit.read_text().splitlines()
            if any("status=401" in line for line in lines):
                break
            time.sleep(0.1)
        text = "\n".join(lines)
        for secret in ("12345", "DOE", "JOHN", "doe", "123456789", self.token):
            for line in lines:
                self.assertIsNone(re.search(rf"\b{re.escape(secret)}\b", line), line)
        read = [l for l in lines if 'client="token orders"' in l and "op=read" in l]
        self.assertTrue(read, text[-2000:])
        self.assertRegex(read[-1], r"^\S+Z audit client=\"token orders\" from=127\.0\.0\.1 "
                                   r"op=read id=[0-9a-f]{16} status=200 outcome=\"found\" ms=\d+$")
        self.assertTrue(any("status=401" in l and 'client="-"' in l for l in lines))

    # ---- credentials ----

    def test_credentials_are_refused_or_let_in(self):
        rows = [  # token, certificate, status, what the refusal says
            (None, None, 401, "required"),
            ("wrong-" + "x" * 30, None, 401, "not one this service accepts"),
            ("b" * 40, None, 200, None),  # the second token of the file
            (None, "orders", 200, None),
            (None, "kiosk", 403, "may not read"),
            (None, "expired", 401, "certificate has expired"),
            (None, "stranger", 401, "not accepted"),
            ("token", "expired", 401, "certificate has expired"),
        ]
        for token, certificate, status, says in rows:
            with self.subTest(token=token, certificate=certificate):
                answer = self.get("/Patient/12345", token=token, certificate=certificate)
                self.assertEqual(answer.status, status, answer.body[:300])
                if says:
                    self.assertIn(says, answer.issue()["diagnostics"])
                if status == 401:
                    self.assertIn("Bearer", answer.headers["WWW-Authenticate"])
        twice = self.raw()
        twice.sendall(b"GET /metadata HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
                      self.token.encode() + b"\r\nAuthorization: Bearer " + self.token.encode() +
                      b"\r\n\r\n")
        self.assertIn(b" 401 ", twice.recv(4096))
        twice.close()

    def test_sighup_rereads_the_tokens_and_keeps_them_when_the_file_is_unsafe(self):
        process = self.start_serve(
            "--set", "NetworkBridgeType=TCPIP", "--set", "TCPRemoteHostName=127.0.0.1",
            "--set", f"TCPRemotePorts={self.vendor.port}", "--set", "VendorFormatType=HL7",
            "--certificate", str(self.folder_path / "server.crt"), "--key",
            str(self.folder_path / "server.key"), "--tokens", str(self.tokens))
        try:
            new = "n" * 44
            self.tokens.write_text(f"orders {new}\n")
            process.process.send_signal(signal.SIGHUP)
            time.sleep(1)
            self.assertEqual(self.get("/metadata", process, token=new).status, 200)
            self.assertEqual(self.get("/metadata", process).status, 401)
            self.tokens.write_text(f"orders {self.token}\n")
            self.tokens.chmod(0o644)
            process.process.send_signal(signal.SIGHUP)
            time.sleep(1)
            self.assertEqual(self.get("/metadata", process, token=new).status, 200)
        finally:
            self.tokens.write_text(f"orders {self.token}\nbilling {'b' * 40}\n")
            self.tokens.chmod(0o600)
            err = process.stop()
        self.assertIn("the tokens file was not reread", err)
        self.assertIn("chmod 600", err)

    def test_check_names_what_keeps_the_service_from_starting(self):
        folder = self.folder_path
        unsafe = folder / "unsafe-tokens"
        unsafe.write_text(f"orders {self.token}\n")
        unsafe.chmod(0o644)
        site = ["--set", "NetworkBridgeType=TCPIP", "--set", "TCPRemoteHostName=127.0.0.1",
                "--set", "VendorFormatType=HL7"]
        tls = ["--certificate", str(folder / "server.crt"), "--key", str(folder / "server.key")]
        tokens = ["--tokens", str(self.tokens)]
        rows = [  # arguments, status, what stderr says
            (site + tls + tokens, 0, ""),
            (site + tokens + ["--insecure-loopback"], 0, ""),
            (site + tls + ["--tokens", str(unsafe)], 2, "chmod 600"),
            (site + tls, 2, "no client could be let in"),
            (site + tokens, 2, "certificate and key"),
            (site + tokens + ["--certificate", str(folder / "expired.crt"), "--key",
                              str(folder / "expired.key")], 2, "has expired"),
            (site + tokens + ["--certificate", str(folder / "server.crt"), "--key",
                              str(folder / "orders.key")], 2, "does not belong"),
            (site + ["--tokens", str(self.tokens), "--insecure-loopback", "--listen",
                     "0.0.0.0"], 2, "loopback address only"),
            (["--set", "NetworkBridgeType=TCPIP", "--set", "VendorFormatType=HL7"] + tls +
             ["--tokens", str(self.tokens)], 2, "TCPRemoteHostName is not set"),
            (site + tls + ["--tokens", str(self.tokens), "--set", "PatientID=1"], 2,
             "PatientID comes with each request"),
        ]
        for arguments, status, says in rows:
            with self.subTest(arguments=arguments[-3:]):
                run = subprocess.run([CLI, "serve", "--check", *arguments], capture_output=True,
                                     text=True, timeout=60)
                self.assertEqual(run.returncode, status, run.stderr)
                self.assertIn(says, run.stderr)

    # ---- hostile clients ----

    def test_path_tricks_in_the_id_reach_no_vendor(self):
        before = self.vendor_queries()
        for path in ("/Patient/..%2F..%2Fetc%2Fpasswd", "/Patient/../metadata",
                     "/Patient/%2e%2e", "/Patient/.2F.2E.2E", "/Patient/12345%00",
                     "/Patient/12345/../../etc/passwd", "/Patient/%252e%252e%252f",
                     "/Patient/12345%0D%0AX:1", "/Patient/.7C12345", "/Patient/" + "1" * 65,
                     "//Patient/12345", "/Patient/12345/$everything/..", "/Patient/a%20b"):
            with self.subTest(path=path):
                answer = self.get(path)
                self.assertIn(answer.status, (400, 404), answer.body[:200])
                self.assertEqual(answer.json()["resourceType"], "OperationOutcome")
        self.assertEqual(self.vendor_queries(), before)

    def test_oversized_requests_are_refused(self):
        rows = [  # what is sent, the status
            (b"GET /metadata HTTP/1.1\r\nX-Big: " + b"a" * 20000, 431),  # of a 1 MB header
            (b"GET /metadata HTTP/1.1\r\n" + b"X-A: b\r\n" * 150 + b"\r\n", 431),
            (b"GET /Patient?" + b"&".join(b"p%d=1" % i for i in range(10000)) +
             b" HTTP/1.1\r\n\r\n", 414),
            (b"GET /Patient?" + b"&".join(b"p%d=1" % i for i in range(150)) +
             b" HTTP/1.1\r\n\r\n", 400),
            (b"GET /metadata HTTP/1.1\r\nContent-Length: 9000000\r\n\r\n", 413),
            (b"GET /metadata HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 400),
            (b"GET http://evil/metadata HTTP/1.1\r\n\r\n", 400),
        ]
        for sent, status in rows:
            with self.subTest(sent=sent[:40], status=status):
                connection = self.raw()
                connection.sendall(sent)
                head = connection.recv(4096)
                self.assertTrue(head.startswith(b"HTTP/1.1 %d " % status), head[:200])
                self.assertIn(b"Connection: close", head)
                if status == 431 and sent.startswith(b"GET /metadata HTTP/1.1\r\nX-Big"):
                    # The rest of the megabyte reaches a connection that is closing.
                    with self.assertRaises(OSError):
                        for _ in range(50):
                            connection.sendall(b"a" * 20000)
                            time.sleep(0.05)
                connection.close()
        self.assertEqual(self.get("/metadata").status, 200)

    def test_idle_connections_are_bounded_and_others_are_answered(self):
        before = self.serve.memory_kib()
        idle = []
        for _ in range(IDLE_CONNECTIONS):  # against the service's limit of 300
            idle.append(socket.create_connection(("127.0.0.1", self.serve.port), timeout=30))
        started = time.monotonic()
        answer = self.get("/Patient/12345")
        self.assertEqual(answer.status, 200)
        self.assertLess(time.monotonic() - started, 5)
        # Past the connection limit the idlest made room; the others end with the
        # handshake's time limit.
        for s in idle:
            s.setblocking(False)
        open_ones = idle
        for _ in range(20):
            open_ones = [s for s in open_ones if not closed_by_peer(s)]
            if not open_ones:
                break
            time.sleep(0.5)
        self.assertEqual(len(open_ones), 0)
        for s in idle:
            s.close()
        self.assertLess(self.serve.memory_kib() - before, 64 * 1024)

    def test_a_client_that_sends_slowly_is_answered_408(self):
        connection = self.raw()
        started = time.monotonic()
        connection.sendall(b"GET /metadata HTTP/1.1\r\n")
        answer = b""
        while time.monotonic() - started < 10 and not answer:
            if select.select([connection], [], [], 0.5)[0]:
                answer = connection.recv(4096)
            else:
                connection.sendall(b"X")
        self.assertTrue(answer.startswith(b"HTTP/1.1 408 "), answer[:100])
        self.assertLess(time.monotonic() - started, 6)
        connection.close()

    def test_a_client_that_reads_a_byte_a_second_is_let_go(self):
        before = self.serve.memory_kib()
        plain = socket.socket()
        plain.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        plain.connect(("127.0.0.1", self.serve.port))
        slow = self.context.wrap_socket(plain, server_hostname="127.0.0.1")
        request = (b"GET /metadata HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
                   self.token.encode() + b"\r\n\r\n")
        slow.sendall(request * 300)
        started = time.monotonic()
        received = b""
        for _ in range(6):  # a byte a second, while others are answered at once
            received += slow.recv(1)
            self.assertEqual(self.get("/metadata").status, 200)
            time.sleep(1)
        slow.settimeout(10)
        try:
            while chunk := slow.recv(65536):
                received += chunk
        except OSError:
            pass  # closed by the service: the end a slow reader gets
        slow.close()
        self.assertLess(time.monotonic() - started, 20)
        self.assertLess(received.count(b"HTTP/1.1 200 "), 300)
        self.assertLess(self.serve.memory_kib() - before, 64 * 1024)


if __name__ == "__main__":
    unittest.main()
