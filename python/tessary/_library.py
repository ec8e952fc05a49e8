"""Finds libtessary and declares its exported functions for ctypes."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from typing import Any, Callable, Dict, List, Optional, Tuple

from ._errors import LibraryNotFoundError

if sys.platform == "win32":
    FILE_NAME = "tessary.dll"
elif sys.platform == "darwin":
    FILE_NAME = "libtessary.dylib"
else:
    FILE_NAME = "libtessary.so"
# An installed library without its development link has only its versioned name.
RUNTIME_NAMES = ["libtessary.so.0"] if FILE_NAME == "libtessary.so" else []

_P = ctypes.POINTER
_int = ctypes.c_int32
_text = ctypes.c_char_p
_out = _P(ctypes.c_void_p)
_count = _P(ctypes.c_int32)


class TSYString(ctypes.Structure):
    """The string object TSYInit takes: one pointer to the directory's text."""

    _fields_ = [("Text", ctypes.c_char_p)]


# name: (result type, argument types); the optional ones are newer than the first release.
_Signature = Tuple[Any, List[Any]]
_REQUIRED: Dict[str, _Signature] = {
    "TSYInit": (_int, [_P(TSYString)]),
    "TSYGetExch": (_int, [_out, _count]),
    "TSYGetGroupSymbol": (_int, [_int, _text, _out, _count]),
    "TSYGetSubGroup": (_int, [_int, _text, _out, _count]),
    "TSYGetSymbolInfo": (_int, [_text, _text]),
    "TSYGetSymbolInfos": (_int, [_text, _out, _count]),
    "TSYGetSymbolInfos2": (_int, [_int, _int, _out, _count]),
    "TSYFindSymbol": (_int, [_text, _out, _count, _int]),
    "TSYFindSymbol2": (_int, [_text, _text, _out, _count, _int]),
    "TSYFree": (None, [ctypes.c_void_p]),
}
_OPTIONAL: Dict[str, _Signature] = {
    "TSYFindSymbolTop": (_int, [_text, _text, _int, _int, _out, _count, _count]),
    "TSYReload": (_int, [_text]),
    "TSYLastError": (ctypes.c_char_p, []),
    "TSYVersion": (ctypes.c_char_p, []),
}


class Library:
    """One loaded libtessary: its functions by export name (None for a missing optional one)."""

    TSYInit: Callable[..., int]
    TSYGetExch: Callable[..., int]
    TSYGetGroupSymbol: Callable[..., int]
    TSYGetSubGroup: Callable[..., int]
    TSYGetSymbolInfo: Callable[..., int]
    TSYGetSymbolInfos: Callable[..., int]
    TSYGetSymbolInfos2: Callable[..., int]
    TSYFindSymbol: Callable[..., int]
    TSYFindSymbol2: Callable[..., int]
    TSYFree: Callable[..., None]
    TSYFindSymbolTop: Optional[Callable[..., int]]
    TSYReload: Optional[Callable[..., int]]
    TSYLastError: Optional[Callable[[], Optional[bytes]]]
    TSYVersion: Optional[Callable[[], Optional[bytes]]]

    def __init__(self, cdll: ctypes.CDLL, path: str):
        self.path = path
        self._cdll = cdll
        for name, (restype, argtypes) in {**_REQUIRED, **_OPTIONAL}.items():
            try:
                function = getattr(cdll, name)
            except AttributeError:
                if name in _REQUIRED:
                    raise LibraryNotFoundError(
                        f"{path} is not a Tessary library: it does not export {name}"
                    ) from None
                function = None
            else:
                function.restype = restype
                function.argtypes = argtypes
            setattr(self, name, function)

    def untyped(self, name: str) -> Optional[Callable[..., Any]]:
        """A second handle on export `name` that returns its declared type but converts no
        argument: ctypes then spends no time on argtypes checks (about half of a short call).
        Its caller passes only bytes, None, ints that fit an int32_t, and byref() or ctypes
        pointer objects, never a bare int for a pointer. None for a missing optional export."""
        if getattr(self, name) is None:
            return None
        function = self._cdll[name]  # indexing makes a new object; the attribute keeps argtypes
        function.restype = {**_REQUIRED, **_OPTIONAL}[name][0]
        return function

    def version(self) -> Optional[str]:
        """The library's version text, or None when it is too old to say."""
        answer = self.TSYVersion() if self.TSYVersion else None
        return answer.decode("ascii", "replace") if answer else None


def _attempt(name: str, tried: List[str]) -> Optional[Library]:
    try:
        return Library(ctypes.CDLL(name), name)
    except OSError as error:
        where = name if os.path.isabs(name) else f"{name} on the system's library path"
        tried.append(f"{where} ({error})")
        return None


def load() -> Library:
    """Loads libtessary from TESSARY_LIBRARY, else beside this package, else the system's path."""
    chosen = os.environ.get("TESSARY_LIBRARY")
    if chosen:
        # An explicit choice that fails is reported, not silently replaced by another library.
        try:
            return Library(ctypes.CDLL(chosen), chosen)
        except OSError as error:
            raise LibraryNotFoundError(
                f"TESSARY_LIBRARY={chosen!r} cannot be loaded: {error}") from None
    tried = ["TESSARY_LIBRARY (not set)"]
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), FILE_NAME)
    if os.path.exists(beside):
        library = _attempt(beside, tried)
        if library:
            return library
    else:
        tried.append(f"{beside} (no such file)")
    # A bare file name lets the system's loader search its own path (LD_LIBRARY_PATH, its
    # cache, the default folders); find_library, slower, asks ldconfig and the toolchain.
    for name in [FILE_NAME, *RUNTIME_NAMES]:
        library = _attempt(name, tried)
        if library:
            return library
    found = ctypes.util.find_library("tessary")
    if found and found not in (FILE_NAME, *RUNTIME_NAMES):
        library = _attempt(found, tried)
        if library:
            return library
    raise LibraryNotFoundError(
        f"{FILE_NAME} was not found; tried:\n  " + "\n  ".join(tried) +
        "\nSet TESSARY_LIBRARY to its path (e.g. build/release/libtessary.so), copy it beside "
        "the package, or install it where the system's loader finds it")
