"""How text crosses the boundary: the character set is the one of the process's LC_CTYPE."""
from __future__ import annotations

import codecs
import locale
import sys
from typing import Optional

from ._errors import EncodingError

# Bytes that form no character come back as lone surrogates (as os.fsdecode does), so a text the
# library returns can be passed back to it byte for byte; they are never invented on the way in.
ERRORS = "surrogateescape"


# Locale names to suggest for the character sets a quote host's data is usually written in.
_EXAMPLE_LOCALES = {"gbk": "zh_CN.GBK", "gb18030": "zh_CN.GB18030", "gb2312": "zh_CN.GB2312",
                    "big5": "zh_TW.BIG5", "euc_jp": "ja_JP.EUC-JP", "euc_kr": "ko_KR.EUC-KR",
                    "utf-8": "C.UTF-8", "iso8859-1": "en_US.ISO-8859-1"}


def locale_encoding() -> str:
    """The Python codec name of the current LC_CTYPE locale's character set.

    The library upper-cases and searches text in this character set. Python sets LC_CTYPE from
    the environment (LC_ALL, LC_CTYPE, LANG) when it starts; on Windows the library follows the
    ANSI code page instead.
    """
    if hasattr(locale, "nl_langinfo"):
        codeset = locale.nl_langinfo(locale.CODESET) or "ascii"
    elif sys.version_info >= (3, 11):
        codeset = locale.getencoding()
    else:  # Windows before Python 3.11
        codeset = locale.getpreferredencoding(False)
    try:
        return codecs.lookup(codeset).name
    except LookupError:
        raise EncodingError(
            f"the LC_CTYPE locale's character set {codeset!r} has no Python codec; "
            "start Python in a locale whose character set Python knows (e.g. LC_ALL=C.UTF-8)"
        ) from None


def choose_encoding(encoding: Optional[str]) -> str:
    """The codec for the library's text: the locale's, or `encoding` when it agrees with it."""
    current = locale_encoding()
    if encoding is None:
        return current
    if not isinstance(encoding, str):
        raise TypeError(f"encoding must be a str or None, not {type(encoding).__name__}")
    try:
        wanted = codecs.lookup(encoding).name
    except LookupError:
        raise EncodingError(f"unknown encoding {encoding!r}") from None
    if wanted != current:
        # Decoding alone cannot fix this: the library would upper-case, cut and match the
        # bytes as characters of the locale's set and give wrong answers.
        where = locale.setlocale(locale.LC_CTYPE)
        example = _EXAMPLE_LOCALES.get(wanted, "LANGUAGE_TERRITORY." + wanted.upper())
        raise EncodingError(
            f"encoding={encoding!r} does not match the process's LC_CTYPE locale {where!r}, "
            f"whose character set is {current}: the library upper-cases and searches text in "
            f"the locale's character set, so its answers would be wrong. For {wanted} text, "
            f"start Python in a {wanted} locale (LC_ALL={example} python3 ...; `locale -a` "
            f"lists the installed ones) or call locale.setlocale(locale.LC_CTYPE, "
            f"{example!r}) before tessary.open(); or leave encoding=None to use {current}"
        )
    return wanted


def encode(name: str, value: object, encoding: str) -> bytes:
    """`value` as the library's bytes; `name` is the argument it came in, for the message."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    try:
        raw = value.encode(encoding, ERRORS)
    except UnicodeEncodeError as error:
        bad = value[error.start:error.end]
        raise EncodingError(
            f"{name} {value!r}: {bad!r} cannot be written in {encoding}, the character set of "
            f"the process's LC_CTYPE locale"
        ) from None
    if b"\0" in raw:
        raise ValueError(f"{name} {value!r} contains a NUL character")
    return raw


def decode(field: bytes, encoding: str) -> str:
    """A fixed-width record field: its bytes up to the first NUL, decoded."""
    end = field.find(b"\0")
    return (field if end < 0 else field[:end]).decode(encoding, ERRORS)
