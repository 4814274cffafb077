"""The names the component publishes, in its own order, as its C interface gives them."""

from __future__ import annotations

import difflib
import functools
from typing import Iterable, Optional

from . import _library as _c

# The methods of the interface, in its order. (The C interface enumerates the settings
# and the properties; a method is called by name.)
METHOD_NAMES: tuple[str, ...] = (
    "VerifySerialSettings", "GetPatient", "closeConnection", "ReturnPatient",
    "GetControlVersion", "findUSBDriveLetter", "resetGlobalValues", "getUSBPatientData",
    "parseHL7Stream", "getHL7Field", "getHL7SubField", "getHL7Record", "getASCII",
    "verifySubFields", "GetPatientData", "closeEnhancedBridgeConnection", "SetGlobalValues",
    "SetCommonParameters",
)


@functools.lru_cache(maxsize=None)
def setting_names() -> tuple[str, ...]:
    """The fifty GetPatient settings, in call order (tb_setting_name)."""
    return _c.names("tb_setting_name")


@functools.lru_cache(maxsize=None)
def property_names() -> tuple[str, ...]:
    """The 119 result properties, in the interface's order (tb_property_name)."""
    return _c.names("tb_property_name")


@functools.lru_cache(maxsize=None)
def format_names() -> tuple[str, ...]:
    """The answer formats VendorFormatType names (tb_format_name)."""
    return _c.names("tb_format_name")


@functools.lru_cache(maxsize=None)
def bridge_names() -> tuple[str, ...]:
    """The bridges NetworkBridgeType names (tb_bridge_name)."""
    return _c.names("tb_bridge_name")


def nearest(name: str, candidates: Iterable[str]) -> Optional[str]:
    """The candidate closest to a misspelt name (case aside), or None when none is close."""
    by_lower = {candidate.lower(): candidate for candidate in candidates}
    close = difflib.get_close_matches(name.lower(), list(by_lower), n=1, cutoff=0.6)
    return by_lower[close[0]] if close else None


def did_you_mean(name: str, candidates: Iterable[str]) -> str:
    """" (did you mean X?)" for a misspelt name, or nothing."""
    suggestion = nearest(name, candidates)
    return f" (did you mean {suggestion!r}?)" if suggestion else ""
