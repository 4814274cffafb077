"""Working defaults, the settings a request needs, and why a request failed."""

from __future__ import annotations

import ctypes
from typing import Any

from . import _library as _c


class PatientNotFound(LookupError):
    """get_patient(check=True): the vendor answered, and the patient is not on file."""

    def __init__(self, reason: str, patient: Any = None) -> None:
        super().__init__(reason or "no patient found")
        self.reason = reason
        self.patient = patient


class VendorUnreachable(ConnectionError):
    """get_patient(check=True): the vendor could not be reached or did not answer (name
    look-up, connect, TLS, time-out, an answer over the size limit)."""

    def __init__(self, reason: str, patient: Any = None) -> None:
        super().__init__(reason or "the vendor did not answer")
        self.reason = reason
        self.patient = patient


class VendorRefused(VendorUnreachable):
    """get_patient(check=True): the vendor answered the query with an error (an HL7
    AE or AR acknowledgement); the reason quotes what it said."""


class AnswerUnreadable(VendorUnreachable):
    """get_patient(check=True): the vendor answered, and the answer could not be read in
    the format set (check VendorFormatType and EOLCharacter)."""


class AnswerIncomplete(VendorUnreachable):
    """get_patient(check=True): every answer stopped before its end character (the
    connection was cut, reset or closed part-way)."""


_FAILURES = {
    "refused": VendorRefused,
    "unreadable": AnswerUnreadable,
    "incomplete": AnswerIncomplete,
}


def _prototypes() -> ctypes.CDLL:
    lib = _c.library()
    variant_p = ctypes.POINTER(_c.tb_variant)
    lib.tb_fill_defaults.restype = ctypes.c_int
    lib.tb_fill_defaults.argtypes = [variant_p, ctypes.c_size_t]
    lib.tb_setting_problems.restype = ctypes.c_int
    lib.tb_setting_problems.argtypes = [variant_p, ctypes.c_size_t, variant_p]
    return lib


def _through_library(arguments: list[Any], call: str) -> tuple[list[Any], str]:
    lib = _prototypes()
    count = len(arguments)
    array = (_c.tb_variant * count)()
    out = _c.tb_variant()
    lib.tb_variant_init(ctypes.byref(out))
    try:
        for i, value in enumerate(arguments):
            lib.tb_variant_init(ctypes.byref(array[i]))
            _c.to_variant(value, array[i])
        if call == "fill":
            status = lib.tb_fill_defaults(array, count)
        else:
            status = lib.tb_setting_problems(array, count, ctypes.byref(out))
        if status != _c.OK:
            raise ValueError(f"{call}: {lib.tb_status_text(status).decode()}")
        return [_c.from_variant(array[i]) for i in range(count)], _c.from_variant(out) or ""
    finally:
        for i in range(count):
            lib.tb_variant_clear(ctypes.byref(array[i]))
        lib.tb_variant_clear(ctypes.byref(out))


def with_defaults(arguments: list[Any]) -> list[Any]:
    """The GetPatient arguments (in call order) with every empty one filled as the
    component's defaults for the bridge and format they name."""
    return _through_library(arguments, "fill")[0]


def require_settings(arguments: list[Any]) -> None:
    """ValueError naming each setting that keeps a request from being made; nothing is
    sent."""
    problems = _through_library(arguments, "problems")[1]
    if problems:
        raise ValueError("the request was not sent: " + "; ".join(problems.splitlines()))


def raise_for_failure(patient: Any) -> None:
    """check=True: a patient not found becomes PatientNotFound or VendorUnreachable."""
    if patient.found:
        return
    if patient.failure_kind == "settings":
        raise ValueError(patient.failure)
    if patient.failure_kind in ("not on file", ""):
        raise PatientNotFound(patient.failure, patient)
    raise _FAILURES.get(patient.failure_kind, VendorUnreachable)(patient.failure, patient)
