"""TrellyBridge for Python: fetch one patient's registration data from the
practice-management system, through the installed libtrellybridge (or the one
TRELLYBRIDGE_LIBRARY names).

    import trellybridge
    patient = trellybridge.get_patient(PatientID="12345", NetworkBridgeType="TCPIP",
                                       TCPRemoteHostName="127.0.0.1", VendorFormatType="HL7")
    if patient.found:
        print(patient.properties["p1PatientLastName"])
    else:
        print(patient.failure)

A patient not found is a result, not an exception. Exceptions are for misuse: a setting
name the component does not have (UnknownSettingError), a member it does not have
(AttributeError), an int it cannot hold (OverflowError); for a call that fails
(CallFailed); for a request past its time bound (TimeoutError); and for a library that
cannot be loaded (LibraryNotFoundError, which names TRELLYBRIDGE_LIBRARY).

SETTING_NAMES, PROPERTY_NAMES, FORMATS (the answer formats) and BRIDGES (the bridge
types) come from the library itself, when first used.
"""

from __future__ import annotations

import contextlib
import ctypes
import functools
import json
import os
import tempfile
import threading
from dataclasses import dataclass, field
from typing import Any, Callable, Iterator, Mapping, Optional, TypeVar

from . import _library as _c
from . import _outcome
from ._library import LibraryNotFoundError
from ._names import (METHOD_NAMES, bridge_names, did_you_mean, format_names, property_names,
                     setting_names)
from ._outcome import (
    AnswerIncomplete,
    AnswerUnreadable,
    PatientNotFound,
    VendorRefused,
    VendorUnreachable,
)

__version__ = "2013.1"

__all__ = [
    "BRIDGES",
    "CallFailed",
    "ComponentError",
    "ErrorEntry",
    "FORMATS",
    "LibraryNotFoundError",
    "METHOD_NAMES",
    "PACES",
    "Patient",
    "PROG_ID",
    "PatientNotFound",
    "PROPERTY_NAMES",
    "SETTING_NAMES",
    "TrellyBridgeComm",
    "UnknownSettingError",
    "VendorUnreachable",
    "VendorRefused",
    "AnswerUnreadable",
    "AnswerIncomplete",
    "__version__",
    "get_patient",
    "get_patient_data",
    "parse",
]

#: The paces a request can keep: "standard" waits out every step's ticks as its settings
#: say; "fast" (the default here) runs a step as soon as what it waits for has happened.
PACES = ("standard", "fast")
#: The class a TrellyBridgeComm instance is made of.
PROG_ID = "TrellyBridge.TrellyBridgeComm"


def __getattr__(name: str) -> Any:
    # The names are the library's: read from it when first asked for, so that importing
    # the module does not load the library.
    if name == "SETTING_NAMES":
        return setting_names()
    if name == "PROPERTY_NAMES":
        return property_names()
    if name == "FORMATS":
        return format_names()
    if name == "BRIDGES":
        return bridge_names()
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


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
    # says about the vendor ("not on file", "unreachable", "settings", "refused",
    # "unreadable", "incomplete"); empty when found.
    failure: str = ""
    failure_notes: list[str] = field(default_factory=list)
    failure_kind: str = ""

    def __getitem__(self, name: str) -> str:
        return self.properties[name]

    def to_fhir(self, identifier_system: str = "") -> dict[str, Any]:
        """The patient as a FHIR R4 Bundle of type "collection" (Patient, Practitioner,
        Conditions, the guarantor and subscribers, Coverages and their Organizations),
        mapped by the component as for every other host. ``identifier_system`` is the
        system of the account number identifier (when empty, the one
        TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM names, else "urn:trellybridge:account"); one that
        is not an absolute URI in printable ASCII raises ValueError. A patient not found
        has no Bundle: PatientNotFound, VendorUnreachable or ValueError says why, as for
        get_patient(check=True)."""
        _outcome.raise_for_failure(self)
        with TrellyBridgeComm() as comm:
            for name, value in self.properties.items():
                if value and name not in _NOT_IN_THE_RECORD:
                    comm.put_property(name, value)
            bundle = _fhir_bundle(comm, identifier_system)
        if bundle is None:
            raise PatientNotFound("the patient record is empty", self)
        return bundle


# Result properties that publish no field of the record: FHIR has no use for them.
_NOT_IN_THE_RECORD = frozenset(
    ("p1PatientRelationship", "p1PatientBillType", "DebugDataDump", "ErrorCodes",
     "ErrorDescriptions"))


def _fhir_bundle(comm: "TrellyBridgeComm", identifier_system: str) -> Optional[dict[str, Any]]:
    """The Bundle the library makes of the instance's record; None when it is empty."""
    lib = comm._lib
    function = lib.tb_patient_as_fhir
    function.restype = ctypes.c_int
    function.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(_c.tb_variant)]
    bundle = _c.tb_variant()
    lib.tb_variant_init(ctypes.byref(bundle))
    try:
        # UTF-8, so that a character beyond ASCII reaches the library and is refused there.
        status = function(comm._live(), identifier_system.encode() or None, ctypes.byref(bundle))
        if status == _c.INVALID_ARGUMENT:
            system = identifier_system or os.environ.get("TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM", "")
            source = "" if identifier_system else "TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM: "
            raise ValueError(f"{source}{system!r} is not an absolute URI in printable ASCII")
        comm._check(status, "PatientAsFhir")
        if bundle.kind != _c.TEXT:
            return None
        return json.loads(ctypes.string_at(bundle.text, bundle.text_length).decode("utf-8"))
    finally:
        lib.tb_variant_clear(ctypes.byref(bundle))


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

    def cancel(self) -> None:
        """Ends the request this instance is running at once, as one that found nothing
        ("the request was cancelled"); for another thread than the one running it. A
        cancel while no request runs ends the instance's next request at once."""
        handle = self._handle
        if handle:
            self._lib.tb_cancel(handle)

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
            hint = did_you_mean(member, property_names() + METHOD_NAMES)
            raise AttributeError(f"{PROG_ID} has no member {member!r}{hint}")
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
        """The value of a property by name (AttributeError for a name it lacks)."""
        value = _c.tb_variant()
        self._lib.tb_variant_init(ctypes.byref(value))
        try:
            self._check(self._lib.tb_get_property(self._live(), _c.encode(name),
                                                  ctypes.byref(value)), name)
            return _c.from_variant(value)
        finally:
            self._lib.tb_variant_clear(ctypes.byref(value))

    def put_property(self, name: str, value: Any) -> None:
        """Writes a property by name (AttributeError for a name it lacks)."""
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
        return {name: _text(self.get_property(name)) for name in property_names()}

    def errors(self) -> list[ErrorEntry]:
        """The entries of the error list (the ErrorCodes property), oldest first."""
        count = ctypes.c_size_t()
        self._check(self._lib.tb_error_count(self._live(), ctypes.byref(count)), "ErrorCodes")
        entries = []
        for index in range(count.value):
            code = ctypes.c_int()
            description = _c.tb_variant()
            self._lib.tb_variant_init(ctypes.byref(description))
            try:
                self._check(self._lib.tb_error_entry(self._live(), index, ctypes.byref(code),
                                                     ctypes.byref(description)), "ErrorCodes")
                entries.append(ErrorEntry(code.value, _c.from_variant(description) or ""))
            finally:
                self._lib.tb_variant_clear(ctypes.byref(description))
        return entries

    def __getattr__(self, name: str) -> Any:
        if name.startswith("_"):
            raise AttributeError(name)
        lowered = name.lower()
        if lowered in _PROPERTIES_BY_LOWER():
            return self.get_property(name)
        if lowered in _METHODS_BY_LOWER:
            return _Method(self, name)
        hint = did_you_mean(name, property_names() + METHOD_NAMES)
        raise AttributeError(f"{PROG_ID} has no member {name!r}{hint}")

    def __dir__(self) -> list[str]:
        return sorted(set(super().__dir__()) | set(property_names()) | set(METHOD_NAMES))

    def __setattr__(self, name: str, value: Any) -> None:
        if name.startswith("_"):
            object.__setattr__(self, name, value)
        else:
            self.put_property(name, value)


_METHODS_BY_LOWER = {name.lower() for name in METHOD_NAMES}


@functools.lru_cache(maxsize=None)
def _PROPERTIES_BY_LOWER() -> frozenset[str]:  # noqa: N802 - reads as the constant it is
    return frozenset(name.lower() for name in property_names())


class _Method:
    """A method of one instance, bound by name."""

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


def _setting_positions() -> dict[str, int]:
    names = setting_names()
    positions = {name.lower(): i for i, name in enumerate(names)}
    positions["eof_"] = names.index("EOF")  # the C++ member's spelling
    return positions


def _arguments(settings: Mapping[str, Any]) -> list[Any]:
    """The GetPatient arguments in call order; TimeDelay is left out when not given, so
    that the component's default (1000 ms) applies."""
    names = setting_names()
    positions = _setting_positions()
    arguments: list[Any] = [None] * len(names)
    given = set()
    for name, value in settings.items():
        position = positions.get(name.lower())
        if position is None:
            raise UnknownSettingError(
                f"{name!r} is not a GetPatient setting{did_you_mean(name, names)}")
        if isinstance(value, int) and not _c.INTEGER_MIN <= value <= _c.INTEGER_MAX:
            raise OverflowError(f"{name}={value} is outside the component's integers")
        arguments[position] = value
        given.add(position)
    if len(names) - 1 not in given:
        arguments.pop()
    return arguments


_Result = TypeVar("_Result")


def _chosen_pace(pace: Optional[str]) -> str:
    """The pace of a call: the one asked for, else TRELLYBRIDGE_PACE, else fast."""
    if pace is not None:
        if pace not in PACES:
            raise ValueError(f"pace must be one of {', '.join(PACES)}, not {pace!r}")
        return pace
    named = os.environ.get("TRELLYBRIDGE_PACE", "")
    if not named:
        return "fast"
    if named.lower() not in PACES:
        raise ValueError(f"TRELLYBRIDGE_PACE must be one of {', '.join(PACES)}, not {named!r}")
    return named.lower()


@contextlib.contextmanager
def _paced(pace: str) -> Iterator[None]:
    """The pace of this thread's requests for the call: the library keeps it per thread,
    so calls on other threads keep theirs (the environment is not touched)."""
    lib = _c.library()
    lib.tb_set_pace.restype = ctypes.c_int
    lib.tb_set_pace.argtypes = [ctypes.c_char_p]
    if lib.tb_set_pace(pace.encode()) != _c.OK:
        raise ValueError(f"the library does not know the pace {pace!r}")
    try:
        yield
    finally:
        lib.tb_set_pace(None)


def _check_call_options(pace: Optional[str], timeout: Optional[float]) -> str:
    if timeout is not None and not timeout > 0:
        raise ValueError(f"timeout must be a number of seconds above 0, not {timeout!r}")
    return _chosen_pace(pace)


def _run(call: Callable[[TrellyBridgeComm], _Result], pace: str,
         timeout: Optional[float]) -> _Result:
    """Runs a request on this thread, on an instance of its own. With a time bound, a timer
    on another thread cancels the request when the bound passes (the request then ends at
    once and lets go of its port or connection) and TimeoutError is raised."""
    with _paced(pace), TrellyBridgeComm() as comm:
        if timeout is None:
            return call(comm)
        cancelled = threading.Event()

        def cancel() -> None:
            cancelled.set()
            comm.cancel()

        timer = threading.Timer(timeout, cancel)
        timer.daemon = True
        timer.start()
        try:
            result = call(comm)
        finally:
            timer.cancel()
            timer.join()
        if cancelled.is_set():
            raise TimeoutError(f"the request did not end within {timeout} s")
        return result


def _fetch(comm: TrellyBridgeComm, arguments: list[Any]) -> Patient:
    found = comm.invoke("GetPatient", *arguments) is True
    properties = comm.properties()
    errors = comm.errors()
    failure = _text(comm.get_property("FailureReason"))
    notes = _text(comm.get_property("FailureNotes")).splitlines()
    kind = _text(comm.get_property("FailureKind"))
    comm.invoke("closeConnection")
    return Patient(found, properties, errors, failure, notes, kind)


def get_patient(*, defaults: bool = True, check: bool = False, pace: Optional[str] = None,
                timeout: Optional[float] = None, **settings: Any) -> Patient:
    """Runs one GetPatient request with the given settings (any of SETTING_NAMES, matched
    without regard to case) and returns the patient. PatientID, NetworkBridgeType,
    VendorFormatType and the vendor's address are required (ValueError names what is
    missing, and nothing is sent); every other setting left out takes the working default
    for the bridge and format (``defaults=False``: passed empty, as GetPatient takes it).
    Not finding the patient is no exception: ``found`` is False and ``failure`` says why;
    with ``check=True`` it raises PatientNotFound or VendorUnreachable instead.

    ``pace="fast"`` runs each step as soon as what it waits for has happened (about 13 ms
    instead of 13 s on loopback) and reports a refused connection after its attempts, one
    TimeDelay apart; ``"standard"`` keeps the settings' schedule; None takes
    TRELLYBRIDGE_PACE when it is set, else fast. The pace holds for this call on this
    thread only. ``timeout`` (seconds) bounds the call: when the time is up the request is
    cancelled (it ends at once, in this process) and TimeoutError is raised."""
    pace = _check_call_options(pace, timeout)
    arguments = _arguments(settings)
    if defaults:
        arguments = _outcome.with_defaults(arguments)
    _outcome.require_settings(arguments)
    patient = _run(lambda comm: _fetch(comm, arguments), pace, timeout)
    if check:
        _outcome.raise_for_failure(patient)
    return patient


def parse(answer: str | bytes, format: str, *, defaults: bool = True,  # noqa: A002
          pace: Optional[str] = None, timeout: Optional[float] = None,
          **settings: Any) -> Patient:
    """Reads a vendor answer saved earlier as a request would read it from the vendor, in
    the given format (HL7, STANDARD, SCAN or XML), with the site's settings (the others
    take the format's working defaults unless ``defaults=False``). The answer goes
    through the USB bridge's results file, so every setting applies as in a request
    (LogInsuranceEntries included). ``pace`` and ``timeout`` as for get_patient."""
    formats = format_names()
    if format.upper() not in formats:
        raise ValueError(f"format must be one of {', '.join(formats)}, not {format!r}")
    pace = _check_call_options(pace, timeout)
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
        if defaults:
            arguments = _outcome.with_defaults(arguments)
        return _run(lambda comm: _fetch(comm, arguments), pace, timeout)


def _search(comm: TrellyBridgeComm, request_xml: str) -> str:
    result = comm.invoke("GetPatientData", request_xml)
    comm.invoke("closeEnhancedBridgeConnection")
    return _text(result)


def get_patient_data(request_xml: str, *, pace: Optional[str] = None,
                     timeout: Optional[float] = None) -> str:
    """Searches the vendor system with an XML request (<UserInfo>, <SearchInfo>,
    <BridgeParameters>) and returns the result text exactly as the component gives it.
    ``pace`` and ``timeout`` as for get_patient."""
    pace = _check_call_options(pace, timeout)
    return _run(lambda comm: _search(comm, request_xml), pace, timeout)
