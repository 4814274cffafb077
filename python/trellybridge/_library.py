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
    _fields_ = [
        ("kind", ctypes.c_int),
        ("boolean", ctypes.c_int),
        ("integer", ctypes.c_longlong),
        ("real", ctypes.c_double),
        ("text", ctypes.POINTER(ctypes.c_char)),
        ("text_length", ctypes.c_size_t),
        ("object", ctypes.c_void_p),
    ]


_library: Optional[ctypes.CDLL] = None
_lock = threading.Lock()


def _find() -> str:
    named = os.environ.get("TRELLYBRIDGE_LIBRARY")
    if named:
        return named
    found = ctypes.util.find_library("trellybridge")
    # find_library knows the linker's cache: an installed library without it in the
    # cache (a /usr/local install before ldconfig) is still found by its soname.
    return found or "libtrellybridge.so.2013"


def library() -> ctypes.CDLL:
    """The loaded library: TRELLYBRIDGE_LIBRARY when set, else the installed one."""
    global _library
    with _lock:
        if _library is None:
            lib = ctypes.CDLL(_find())
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
                ("tb_status_text", ctypes.c_char_p, [ctypes.c_int]),
            ):
                function = getattr(lib, name)
                function.restype = result
                function.argtypes = arguments
            _library = lib
        return _library


def encode(text: str) -> bytes:
    return text.encode(ENCODING, errors="replace")


def decode(data: bytes) -> str:
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
    if variant.kind == BOOLEAN:
        return bool(variant.boolean)
    if variant.kind == INTEGER:
        return variant.integer
    if variant.kind == DOUBLE:
        return variant.real
    if variant.kind == TEXT:
        return decode(ctypes.string_at(variant.text, variant.text_length))
    return None
