"""TrellyBridge for Python: fetch one patient's registration data from the
practice-management system, through the installed libtrellybridge (or the one
TRELLYBRIDGE_LIBRARY names).

    import trellybridge
    patient = trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                       TCPRemoteHostName="127.0.0.1", TCPRemotePorts="9991",
                                       VendorFormatType="HL7", EOFCharacter="28",
                                       EOLCharacter="13", DisplayProperties="false")
    if patient.found:
        print(patient.properties["p1PatientLastName"])
    else:
        print(patient.errors)

A patient not found is a result, not an exception. Exceptions are for misuse: a setting
name the component does not have, an argument it cannot take, a member it does not have.
"""

from __future__ import annotations

import ctypes
import json
import os
import re
import tempfile
from dataclasses import dataclass, field
from typing import Any, Callable, Mapping, Optional

from . import _library as _c
from . import _outcome
from ._names import PROPERTY_NAMES, SETTING_NAMES
from ._outcome import PatientNotFound, VendorUnreachable

__all__ = [
    "CallFailed",
    "ComponentError",
    "ErrorEntry",
    "FORMATS",
    "Patient",
    "PatientNotFound",
    "PROPERTY_NAMES",
    "SETTING_NAMES",
    "TrellyBridgeComm",
    "UnknownSettingError",
    "VendorUnreachable",
    "get_patient",
    "get_patient_data",
    "parse",
]

FORMATS = ("HL7", "STANDARD", "SCAN", "XML")
PROG_ID = "TrellyBridge.TrellyBridgeComm"


class ComponentError(Exception):
    """The component was used in a way it does not allow (unknown member, wrong arguments)."""


class UnknownSettingError(ComponentError, KeyError):
    """A keyword that is none of the fifty GetPatient settings."""

    def __str__(self) -> str:
        return str(self.args[0]) if self.args else "unknown setting"


class CallFailed(ComponentError):
    """A member raised an error, as getUSBPatientData does when its component fails."""

    def __init__(self, member: str, number: int, description: str) -> None:
        super().__init__(f"{member} failed: {number} {description}".rstrip())
        self.member = member
        self.number = number
        self.description = description


@dataclass(frozen=True)
class ErrorEntry:
    """One element of the component's error list."""

    code: int
    message: str


@dataclass
class Patient:
    """The outcome of one request: whether the patient was found, the 119 result
    properties by name (ErrorCodes, ErrorDescriptions and DebugDataDump included) and
    the error list read into entries."""

    found: bool
    properties: dict[str, str] = field(default_factory=dict)
    errors: list[ErrorEntry] = field(default_factory=list)
    # Why it was not found: the latest failure, every failure of the request, and what it
    # says about the vendor ("not on file", "unreachable", "settings"); empty when found.
    failure: str = ""
    failure_notes: list[str] = field(default_factory=list)
    failure_kind: str = ""

    def __getitem__(self, name: str) -> str:
        return self.properties[name]

    def to_fhir(self, identifier_system: str = "") -> dict[str, Any]:
        """The patient as a FHIR R4 Bundle of type "collection" (Patient, Practitioner,
        Conditions, the guarantor, Coverages and their Organizations), mapped by the
        component as for every other host. ``identifier_system`` is the system of the
        account number identifier ("urn:trellybridge:account" when empty)."""
        with TrellyBridgeComm() as comm:
            for name, value in self.properties.items():
                if value and name not in _NOT_IN_THE_RECORD:
                    comm.put_property(name, value)
            return _fhir_bundle(comm, identifier_system)


# Result properties that publish no field of the record: FHIR has no use for them.
_NOT_IN_THE_RECORD = frozenset(
    ("p1PatientRelationship", "p1PatientBillType", "DebugDataDump", "ErrorCodes",
     "ErrorDescriptions"))


def _fhir_bundle(comm: "TrellyBridgeComm", identifier_system: str) -> dict[str, Any]:
    lib = comm._lib
    function = lib.tb_patient_as_fhir
    function.restype = ctypes.c_int
    function.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(_c.tb_variant)]
    bundle = _c.tb_variant()
    lib.tb_variant_init(ctypes.byref(bundle))
    try:
        comm._check(function(comm._live(), identifier_system.encode() or None,
                             ctypes.byref(bundle)), "PatientAsFhir")
        return json.loads(ctypes.string_at(bundle.text, bundle.text_length).decode("utf-8"))
    finally:
        lib.tb_variant_clear(ctypes.byref(bundle))


_ERROR_ELEMENT = re.compile(r'<error id="(-?\d+)" description="(.*?)">\2</error>\r\n', re.S)


def _error_entries(error_list: str) -> list[ErrorEntry]:
    return [ErrorEntry(int(code), message) for code, message in _ERROR_ELEMENT.findall(error_list)]


class TrellyBridgeComm:
    """One instance of the component's class, every member by name.

    Methods are called by name (``comm.GetControlVersion()``, or
    ``comm.invoke("GetControlVersion")``); properties are read and written as attributes
    (``comm.p1PatientLastName``) or with get_property / put_property. Names match
    without regard to case, as for dispatch clients. An instance belongs to the thread
    that made it.
    """

    def __init__(self) -> None:
        self._lib = _c.library()
        handle = ctypes.c_void_p()
        status = self._lib.tb_create(_c.encode(PROG_ID), ctypes.byref(handle))
        if status != _c.OK:
            raise ComponentError(f"cannot create {PROG_ID}: {self._status_text(status)}")
        self._handle: Optional[ctypes.c_void_p] = handle

    def __enter__(self) -> "TrellyBridgeComm":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        self.close()

    def close(self) -> None:
        """Releases the instance; it cannot be used afterwards."""
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            self._lib.tb_release(handle)

    def _status_text(self, status: int) -> str:
        return self._lib.tb_status_text(status).decode()

    def _live(self) -> ctypes.c_void_p:
        if not self._handle:
            raise ComponentError("the instance has been closed")
        return self._handle

    def _check(self, status: int, member: str) -> None:
        if status == _c.OK:
            return
        if status == _c.FAILED:
            number = ctypes.c_int()
            description = _c.tb_variant()
            self._lib.tb_variant_init(ctypes.byref(description))
            self._lib.tb_last_error(self._live(), ctypes.byref(number), ctypes.byref(description))
            text = _c.from_variant(description) or ""
            self._lib.tb_variant_clear(ctypes.byref(description))
            raise CallFailed(member, number.value, text)
        if status == _c.UNKNOWN_MEMBER:
            raise AttributeError(f"{PROG_ID} has no member {member!r}")
        if status == _c.BAD_ARGUMENT_COUNT:
            raise TypeError(f"{member}: wrong number of arguments")
        raise ComponentError(f"{member}: {self._status_text(status)}")

    def invoke(self, method: str, *arguments: Any) -> Any:
        """Calls a method by name with values (None, bool, int, float, str or bytes)."""
        count = len(arguments)
        array = (_c.tb_variant * max(count, 1))()
        result = _c.tb_variant()
        self._lib.tb_variant_init(ctypes.byref(result))
        try:
            for i, value in enumerate(arguments):
                self._lib.tb_variant_init(ctypes.byref(array[i]))
                _c.to_variant(value, array[i])
            status = self._lib.tb_invoke(self._live(), _c.encode(method), array, count,
                                         ctypes.byref(result))
            self._check(status, method)
            return _c.from_variant(result)
        finally:
            for i in range(count):
                self._lib.tb_variant_clear(ctypes.byref(array[i]))
            self._lib.tb_variant_clear(ctypes.byref(result))

    def get_property(self, name: str) -> Any:
        value = _c.tb_variant()
        self._lib.tb_variant_init(ctypes.byref(value))
        try:
            self._check(self._lib.tb_get_property(self._live(), _c.encode(name),
                                                  ctypes.byref(value)), name)
            return _c.from_variant(value)
        finally:
            self._lib.tb_variant_clear(ctypes.byref(value))

    def put_property(self, name: str, value: Any) -> None:
        variant = _c.tb_variant()
        self._lib.tb_variant_init(ctypes.byref(variant))
        try:
            _c.to_variant(value, variant)
            self._check(self._lib.tb_put_property(self._live(), _c.encode(name),
                                                  ctypes.byref(variant)), name)
        finally:
            self._lib.tb_variant_clear(ctypes.byref(variant))

    def properties(self) -> dict[str, str]:
        """All 119 result properties as text."""
        return {name: _text(self.get_property(name)) for name in PROPERTY_NAMES}

    def __getattr__(self, name: str) -> Any:
        if name.startswith("_"):
            raise AttributeError(name)
        try:
            return self.get_property(name)
        except AttributeError:
            pass  # not a property: a method, called when the caller calls it
        return _Method(self, name)

    def __setattr__(self, name: str, value: Any) -> None:
        if name.startswith("_"):
            object.__setattr__(self, name, value)
        else:
            self.put_property(name, value)


class _Method:
    def __init__(self, comm: TrellyBridgeComm, name: str) -> None:
        self._comm, self._name = comm, name

    def __call__(self, *arguments: Any) -> Any:
        return self._comm.invoke(self._name, *arguments)


def _text(value: Any) -> str:
    if value is None:
        return ""
    if isinstance(value, bool):
        return "True" if value else "False"
    return str(value)


_SETTING_POSITIONS = {name.lower(): i for i, name in enumerate(SETTING_NAMES)}
_SETTING_POSITIONS["eof_"] = SETTING_NAMES.index("EOF")


def _arguments(settings: Mapping[str, Any]) -> list[Any]:
    """The GetPatient arguments in call order; TimeDelay is left out when not given, so
    that the component's default (1000 ms) applies."""
    arguments: list[Any] = [None] * len(SETTING_NAMES)
    given = set()
    for name, value in settings.items():
        position = _SETTING_POSITIONS.get(name.lower())
        if position is None:
            raise UnknownSettingError(f"{name!r} is not a GetPatient setting")
        arguments[position] = value
        given.add(position)
    if len(SETTING_NAMES) - 1 not in given:
        arguments.pop()
    return arguments


def get_patient(*, defaults: bool = True, check: bool = False, **settings: Any) -> Patient:
    """Runs one GetPatient request with the given settings (any of SETTING_NAMES, matched
    without regard to case) and returns the patient. PatientID, NetworkBridgeType,
    VendorFormatType and the vendor's address are required (ValueError names what is
    missing, and nothing is sent); every other setting left out takes the working default
    for the bridge and format (``defaults=False``: passed empty, as GetPatient takes it).
    Not finding the patient is no exception: ``found`` is False and ``failure`` says why;
    with ``check=True`` it raises PatientNotFound or VendorUnreachable instead."""
    arguments = _arguments(settings)
    if defaults:
        arguments = _outcome.with_defaults(arguments)
    _outcome.require_settings(arguments)
    patient = _request(arguments)
    if check:
        _outcome.raise_for_failure(patient)
    return patient


def _request(arguments: list[Any]) -> Patient:
    with TrellyBridgeComm() as comm:
        found = comm.invoke("GetPatient", *arguments) is True
        properties = comm.properties()
        failure = _text(comm.get_property("FailureReason"))
        notes = _text(comm.get_property("FailureNotes")).splitlines()
        kind = _text(comm.get_property("FailureKind"))
        comm.invoke("closeConnection")
    return Patient(found, properties, _error_entries(properties["ErrorCodes"]), failure, notes,
                   kind)


def parse(answer: str | bytes, format: str, *, defaults: bool = True,  # noqa: A002
          **settings: Any) -> Patient:
    """Reads a vendor answer saved earlier as a request would read it from the vendor, in
    the given format (HL7, STANDARD, SCAN or XML), with the site's settings (the others
    take the format's working defaults unless ``defaults=False``). The answer goes through
    the USB bridge's results file, so every setting applies as in a request
    (LogInsuranceEntries included)."""
    if format.upper() not in FORMATS:
        raise ValueError(f"format must be one of {', '.join(FORMATS)}, not {format!r}")
    data = answer if isinstance(answer, bytes) else _c.encode(answer)
    with tempfile.TemporaryDirectory(prefix="trellybridge-parse-") as folder:
        results = os.path.join(folder, "answer.dat")
        with open(os.open(results, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "wb") as out:
            out.write(data)
        request = {"PatientID": "", "DisplayProperties": "false", "AllowedRetries": "1",
                   "TimeDelay": "10"}
        request.update(settings)
        _arguments(request)  # a setting name it does not know is misuse, reported first
        request = {k: v for k, v in request.items()
                   if k.lower() not in ("networkbridgetype", "vendorresultspath",
                                        "vendorformattype")}
        request.update(NetworkBridgeType="USB", VendorResultsPath=results,
                       VendorFormatType=format.upper())
        arguments = _arguments(request)
        return _request(_outcome.with_defaults(arguments) if defaults else arguments)


def get_patient_data(request_xml: str) -> str:
    """Searches the vendor system with an XML request (<UserInfo>, <SearchInfo>,
    <BridgeParameters>) and returns the result text exactly as the component gives it."""
    with TrellyBridgeComm() as comm:
        result = comm.invoke("GetPatientData", request_xml)
        comm.invoke("closeEnhancedBridgeConnection")
    return _text(result)
