"""The C interface of libtrellybridge (trellybridge/trellybridge.h) through ctypes."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from typing import Any, Optional

# tb_kind
EMPTY, BOOLEAN, INTEGER, DOUBLE, TEXT, OBJECT = range(6)
# tb_status
OK, UNKNOWN_CLASS, UNKNOWN_MEMBER, BAD_ARGUMENT_COUNT, NOT_IMPLEMENTED, INVALID_ARGUMENT, FAILED = (
    range(7)
)

# The component's text is one byte per character, in the Windows-1252 code page.
ENCODING = "cp1252"


class tb_variant(ctypes.Structure):  # noqa: N801 - the C name
    """struct tb_variant of trellybridge.h."""

    _fields_ = [
        ("kind", ctypes.c_int),
        ("boolean", ctypes.c_int),
        ("integer", ctypes.c_longlong),
        ("real", ctypes.c_double),
        ("text", ctypes.POINTER(ctypes.c_char)),
        ("text_length", ctypes.c_size_t),
        ("object", ctypes.c_void_p),
    ]


SONAME = "libtrellybridge.so.2013"
# The most and least a component integer holds (a C long long).
INTEGER_MIN, INTEGER_MAX = -(2**63), 2**63 - 1

_library: Optional[ctypes.CDLL] = None
_lock = threading.Lock()


class LibraryNotFoundError(OSError):
    """libtrellybridge could not be loaded; the message says where it was looked for."""


def _find() -> tuple[str, str]:
    """The library to load and how it was chosen."""
    named = os.environ.get("TRELLYBRIDGE_LIBRARY")
    if named:
        return named, "TRELLYBRIDGE_LIBRARY"
    found = ctypes.util.find_library("trellybridge")
    if found:
        return found, "the linker's cache (ldconfig)"
    # An installed library not yet in the cache (a /usr/local install before ldconfig) is
    # still found by its soname on the loader's search path.
    return SONAME, "the loader's search path (LD_LIBRARY_PATH, /etc/ld.so.conf)"


def library() -> ctypes.CDLL:
    """The loaded library: TRELLYBRIDGE_LIBRARY when set, else the installed one."""
    global _library
    with _lock:
        if _library is None:
            path, where = _find()
            try:
                lib = ctypes.CDLL(path)
            except OSError as error:
                raise LibraryNotFoundError(
                    f"cannot load the TrellyBridge library {path} (looked for it through "
                    f"{where}): {error}. Install the libtrellybridge2013 package, or set "
                    "TRELLYBRIDGE_LIBRARY to the path of libtrellybridge.so.2013.") from None
            variant_p = ctypes.POINTER(tb_variant)
            object_p = ctypes.c_void_p
            for name, result, arguments in (
                ("tb_variant_init", None, [variant_p]),
                ("tb_variant_clear", None, [variant_p]),
                ("tb_variant_set_text", None, [variant_p, ctypes.c_char_p]),
                ("tb_variant_set_integer", None, [variant_p, ctypes.c_longlong]),
                ("tb_variant_set_boolean", None, [variant_p, ctypes.c_int]),
                ("tb_variant_set_double", None, [variant_p, ctypes.c_double]),
                ("tb_create", ctypes.c_int, [ctypes.c_char_p, ctypes.POINTER(object_p)]),
                ("tb_invoke", ctypes.c_int,
                 [object_p, ctypes.c_char_p, variant_p, ctypes.c_size_t, variant_p]),
                ("tb_get_property", ctypes.c_int, [object_p, ctypes.c_char_p, variant_p]),
                ("tb_put_property", ctypes.c_int, [object_p, ctypes.c_char_p, variant_p]),
                ("tb_last_error", ctypes.c_int,
                 [object_p, ctypes.POINTER(ctypes.c_int), variant_p]),
                ("tb_release", None, [object_p]),
                ("tb_cancel", ctypes.c_int, [object_p]),
                ("tb_status_text", ctypes.c_char_p, [ctypes.c_int]),
                ("tb_setting_name", ctypes.c_char_p, [ctypes.c_size_t]),
                ("tb_property_name", ctypes.c_char_p, [ctypes.c_size_t]),
                ("tb_format_name", ctypes.c_char_p, [ctypes.c_size_t]),
                ("tb_bridge_name", ctypes.c_char_p, [ctypes.c_size_t]),
                ("tb_error_count", ctypes.c_int, [object_p, ctypes.POINTER(ctypes.c_size_t)]),
                ("tb_error_entry", ctypes.c_int,
                 [object_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_int), variant_p]),
            ):
                function = getattr(lib, name)
                function.restype = result
                function.argtypes = arguments
            _library = lib
        return _library


def names(function_name: str) -> tuple[str, ...]:
    """The names a tb_*_name enumeration gives, up to its NULL."""
    function = getattr(library(), function_name)
    found = []
    while (name := function(len(found))) is not None:
        found.append(name.decode("ascii"))
    return tuple(found)


def encode(text: str) -> bytes:
    """Text as the component holds it: one Windows-1252 byte per character."""
    return text.encode(ENCODING, errors="replace")


def decode(data: bytes) -> str:
    """The component's bytes as text."""
    try:
        return data.decode(ENCODING)
    except UnicodeDecodeError:
        # The five bytes Windows-1252 leaves undefined are kept as Latin-1 does.
        return data.decode("latin-1")


def to_variant(value: Any, variant: tb_variant) -> None:
    """Fills an initialised variant from a Python value (None, bool, int, float, str, bytes)."""
    lib = library()
    if value is None:
        return
    if isinstance(value, bool):
        lib.tb_variant_set_boolean(ctypes.byref(variant), int(value))
    elif isinstance(value, int):
        # ctypes would wrap a larger int silently: 2**64 + 12345 would ask for 12345.
        if not INTEGER_MIN <= value <= INTEGER_MAX:
            raise OverflowError(f"{value} is outside the component's integers "
                                f"({INTEGER_MIN} to {INTEGER_MAX})")
        lib.tb_variant_set_integer(ctypes.byref(variant), value)
    elif isinstance(value, float):
        lib.tb_variant_set_double(ctypes.byref(variant), value)
    elif isinstance(value, (str, bytes)):
        data = value if isinstance(value, bytes) else encode(value)
        if b"\0" in data:
            raise ValueError("text passed to the component cannot hold a NUL character")
        lib.tb_variant_set_text(ctypes.byref(variant), data)
    else:
        raise TypeError(f"the component takes None, bool, int, float or text, not {type(value)}")


def from_variant(variant: tb_variant) -> Any:
    """The Python value of a variant (None for an empty one)."""
    if variant.kind == BOOLEAN:
        return bool(variant.boolean)
    if variant.kind == INTEGER:
        return variant.integer
    if variant.kind == DOUBLE:
        return variant.real
    if variant.kind == TEXT:
        return decode(ctypes.string_at(variant.text, variant.text_length))
    return None
