"""The process's database: loading, and every query as a method that returns Python records."""
from __future__ import annotations

import contextlib
import ctypes
import os
import struct
import sys
import threading
from typing import Any, Callable, ContextManager, Iterable, List, Optional, Tuple, Union

from . import _library, _text
from ._errors import EncodingError, LoadError, NotFoundError, QueryError
from ._records import (EXCHANGE_COLUMNS, SUBGROUP_COLUMNS, Exchange, ResultList, SearchResults,
                       SubGroup, Symbol, SymbolList, add_symbols)

# The records of tessary.h, little-endian and unpadded: SymbolInfo, ExchangeInfo, SubGroupInfo.
_SYMBOL = struct.Struct("<H40s50sH")
_EXCHANGE = struct.Struct("<H3s51siii116x")
_SUBGROUP = struct.Struct("<H17s49si")
_SYMBOL_SIZE = _SYMBOL.size
_string_at = ctypes.string_at

# TSYGetSymbolInfo leaves Name as the caller set it when the symbol does not exist; a found
# symbol's Name is always NUL-terminated, so a Name of 50 bytes 0xFF tells the two apart.
_UNTOUCHED_NAME = b"\xff" * 50
_PROBE = _SYMBOL.pack(0xFFFF, b"", _UNTOUCHED_NAME, 0xFFFF)

_INT32_MAX = 2**31 - 1
_new_list = list.__new__  # a result list without its __init__, filled by the caller
_GROUP_NUMBERS = range(65536)  # group numbers are 16-bit in the group table

_opening = threading.Lock()  # makes the first open() create the one Database
# ctypes lets other threads run during a call. A library with TSYReload answers queries from
# several threads at once and orders its own loads; searches here still take turns, since they
# share the out-variables made once to keep a keystroke's call short. An older library takes no
# lock at all, so that every call holds _searching. The library's state is the process's: so
# are these locks.
_searching = threading.Lock()
_loading = threading.Lock()  # keeps a Database's path and encoding in step with the library
_api: Optional[_library.Library] = None
_database: Optional["Database"] = None

PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def _int32(name: str, value: object, low: int = -2**31) -> int:
    # bool is an int to Python but never a meaningful number here; ctypes would wrap big values.
    if not isinstance(value, int) or isinstance(value, bool):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not low <= value <= _INT32_MAX:
        raise ValueError(f"{name} {value} is out of range ({low} to {_INT32_MAX})")
    return value


class Database:
    """The Tessary database of this process, loaded from one data directory.

    The library holds one database per process: tessary.open() always returns this same object,
    and a later open() or reload() replaces what every holder of it sees. Methods may be called
    from several threads.
    """

    def __init__(self, api: _library.Library) -> None:
        self._api = api
        self._path: Optional[str] = None
        self._encoding = "ascii"
        self._groups: Optional[ResultList[int]] = None
        self._search_lock: ContextManager[Any] = _searching
        self._lock: ContextManager[Any] = (
            _searching if api.TSYReload is None else contextlib.nullcontext())
        # The top-k search, the one call a type-ahead box makes per keystroke, goes through
        # untyped handles and out-variables made once; the search lock guards the variables.
        self._find_top = api.untyped("TSYFindSymbolTop")
        self._free = api.untyped("TSYFree")
        self._array = ctypes.c_void_p()
        self._count = ctypes.c_int32()
        self._total = ctypes.c_int32()
        self._outs = (ctypes.byref(self._array), ctypes.byref(self._count),
                      ctypes.byref(self._total))

    def __repr__(self) -> str:
        return f"<tessary.Database {self._path!r} encoding={self._encoding!r}>"

    @property
    def path(self) -> Optional[str]:
        """The data directory loaded last, as given to open() or reload()."""
        return self._path

    @property
    def encoding(self) -> str:
        """The Python codec of the library's text (the LC_CTYPE locale's character set)."""
        return self._encoding

    @property
    def library_path(self) -> str:
        """The file libtessary was loaded from."""
        return self._api.path

    @property
    def library_version(self) -> Optional[str]:
        """The library's version, e.g. "0.2.0"; None for a library too old to say."""
        return self._api.version()

    @property
    def can_reload(self) -> bool:
        """True when the library can replace its database (TSYReload)."""
        return self._api.TSYReload is not None

    def reload(self, path: Optional[PathArg] = None, encoding: Optional[str] = None) -> "Database":
        """Loads `path` (default: the directory loaded last) and replaces the database with it.

        The old contents stay when the new directory does not load (LoadError). A library
        without TSYReload cannot reload and raises LoadError.
        """
        return self._load(self._path if path is None else path, encoding, True)

    # -- loading -----------------------------------------------------------------------------

    def _load(self, path: object, encoding: Optional[str], again: bool) -> "Database":
        chosen = _text.choose_encoding(encoding)
        raw = _path_bytes(path)
        shown = os.fsdecode(raw)
        if b"\0" in raw:
            raise ValueError(f"path {shown!r} contains a NUL character")
        # The library says only that a load failed; these two reasons are certain before it starts.
        if not os.path.exists(raw):
            raise LoadError(f"{shown}: no such directory")
        if not os.path.isdir(raw):
            raise LoadError(f"{shown}: not a directory")
        api = self._api
        with _loading, self._lock:
            if api.TSYReload:
                loaded = api.TSYReload(raw)
            elif self._path is not None and (again or not _same_directory(self._path, shown)):
                # TSYInit loads once per process and ignores the paths of later calls.
                raise LoadError(
                    f"{shown}: this libtessary ({api.path}) cannot replace a loaded database; "
                    f"{self._path} stays loaded. A library with TSYReload can, or a new process")
            else:
                loaded = api.TSYInit(ctypes.byref(_library.TSYString(raw)))
            if not loaded:
                reason = api.TSYLastError() if api.TSYLastError else None
                raise LoadError(f"{shown}: " + (
                    reason.decode(chosen, "replace") if reason
                    else "missing or damaged data files (`tessary check DIR` names them)"))
            if api.TSYReload or self._path is None:
                self._path, self._groups = shown, None
            self._encoding = chosen
        return self

    # -- plumbing ----------------------------------------------------------------------------

    def _encode(self, name: str, value: object) -> bytes:
        return _text.encode(name, value, self._encoding)

    def _fetch(self, call: Callable[..., int], layout: struct.Struct, keep: Optional[int] = None,
               lock: Optional[ContextManager[Any]] = None) -> Optional[Tuple[bytes, int]]:
        """Calls a query that hands out an array, copies its first `keep` records (all when
        None) and releases the array at once: the records' bytes and the array's length. None
        when the library answered 0."""
        array = ctypes.c_void_p()
        count = ctypes.c_int32()
        with self._lock if lock is None else lock:
            if not call(ctypes.byref(array), ctypes.byref(count)):
                return None
            try:
                rows = count.value if keep is None else min(keep, count.value)
                block = b""
                if rows > 0 and array.value:
                    block = ctypes.string_at(array.value, rows * layout.size)
            finally:
                self._api.TSYFree(array)
        return block, count.value

    def _symbols(self, rows: Iterable[Tuple[Any, ...]],
                 into: Optional[ResultList[Symbol]] = None) -> ResultList[Symbol]:
        records: ResultList[Symbol] = ResultList() if into is None else into
        add_symbols(records, rows, self._encoding)
        return records

    # -- queries -----------------------------------------------------------------------------

    def exchanges(self) -> ResultList[Exchange]:
        """Every exchange, in the order of the directory."""
        answer = self._fetch(self._api.TSYGetExch, _EXCHANGE)
        if answer is None:
            raise QueryError("the library could not list the exchanges")
        e, decode = self._encoding, _text.decode
        return ResultList((Exchange(i, decode(code, e), decode(name, e), bool(alert), bool(trade),
                                    bool(quote))
                           for i, code, name, alert, trade, quote in
                           _EXCHANGE.iter_unpack(answer[0])), EXCHANGE_COLUMNS)

    def symbol(self, text: str) -> Optional[Symbol]:
        """The symbol "CODE.EX" (the exchange part in any letter case), or None."""
        raw = self._encode("symbol", text)
        record = ctypes.create_string_buffer(_PROBE, _SYMBOL.size)
        with self._lock:
            if not self._api.TSYGetSymbolInfo(raw, record):
                raise QueryError(f"the library could not look {text!r} up")
        exchange, symbol, name, kind = _SYMBOL.unpack(record.raw)
        if name == _UNTOUCHED_NAME:
            return None
        return self._symbols([(exchange, symbol, name, kind)])[0]

    def symbols(self, texts: Iterable[str]) -> SymbolList:
        """Looks several "CODE.EX" texts up at once (each upper-cased as a whole).

        The result holds the symbols found, in the order given; `.missing` the upper-cased texts
        that name no symbol.
        """
        if isinstance(texts, (str, bytes)) or not isinstance(texts, Iterable):
            raise TypeError(f"texts must be a list of str, not {type(texts).__name__}")
        raws = []
        for text in texts:
            raw = self._encode("symbol text", text)
            if not raw or b"," in raw:
                raise ValueError(f"symbol text {text!r} is empty or holds a comma")
            raws.append(raw)
        joined = b",".join(raws)
        answer = self._fetch(
            lambda out, count: self._api.TSYGetSymbolInfos(joined, out, count), _SYMBOL)
        if answer is None:
            raise QueryError("the library could not look the symbols up")
        rows = list(_SYMBOL.iter_unpack(answer[0]))
        # The texts not found come last, as records holding only their text; a real symbol that
        # looks like that (exchange 0, type 0, no name) is told apart by asking for it alone.
        found = len(rows)
        while found and _looks_unresolved(rows[found - 1]) and self._missing(rows[found - 1][1]):
            found -= 1
        missing = [_text.decode(row[1], self._encoding) for row in rows[found:]]
        return self._symbols(rows[:found], SymbolList((), missing))

    def _missing(self, symbol: bytes) -> bool:
        return self.symbol(_text.decode(symbol, self._encoding)) is None

    def listing(self, exchange_id: int, type: Optional[int] = None) -> ResultList[Symbol]:
        """The symbols of an exchange (of one type when `type` is given), sorted by symbol text
        without regard to letter case. NotFoundError when the exchange has no symbol table."""
        exchange = _int32("exchange_id", exchange_id)
        kind = -1 if type is None else _int32("type", type)
        answer = self._fetch(
            lambda out, count: self._api.TSYGetSymbolInfos2(exchange, kind, out, count), _SYMBOL)
        if answer is None:
            raise NotFoundError(f"exchange {exchange} has no symbol table")
        return self._symbols(_SYMBOL.iter_unpack(answer[0]))

    def groups(self) -> ResultList[int]:
        """The numbers of the groups in the group tree, in ascending order."""
        # No export lists them: ask for the subgroups of every possible number, once per load.
        if self._groups is None:
            present: ResultList[int] = ResultList((), ("group_id",))
            get = self._api.TSYGetSubGroup
            free = self._api.TSYFree
            array, empty = ctypes.c_void_p(), b""
            out = ctypes.byref(array)
            with self._lock:
                for number in _GROUP_NUMBERS:
                    if get(number, empty, out, None):
                        free(array)
                        present.append(number)
            self._groups = present
        return ResultList(self._groups, ("group_id",))

    def subgroups(self, group: int, code: Optional[str] = None) -> ResultList[SubGroup]:
        """The subgroups of `group` (code None or ""), or the leaf groups of its subgroup `code`
        (any letter case). NotFoundError when the group or subgroup does not exist."""
        number = _int32("group", group)
        raw = b"" if code is None else self._encode("code", code)
        answer = self._fetch(
            lambda out, count: self._api.TSYGetSubGroup(number, raw, out, count), _SUBGROUP)
        if answer is None:
            what = f"group {number}" + (f" has no subgroup {code!r}" if raw else " does not exist")
            raise NotFoundError(what)
        e, decode = self._encoding, _text.decode
        return ResultList((SubGroup(g, decode(c, e), decode(n, e), bool(branch))
                           for g, c, n, branch in _SUBGROUP.iter_unpack(answer[0])),
                          SUBGROUP_COLUMNS)

    def group_symbols(self, group: int, code: str) -> ResultList[Symbol]:
        """The symbols of the leaf group `code` (any letter case) of `group`, in list order;
        members that no symbol table holds are left out. NotFoundError for an unknown group or
        leaf group."""
        number = _int32("group", group)
        raw = self._encode("code", code)
        answer = self._fetch(
            lambda out, count: self._api.TSYGetGroupSymbol(number, raw, out, count), _SYMBOL)
        if answer is None:
            raise NotFoundError(f"group {number} does not exist")
        # The library answers an unknown leaf group like an empty one; tell them apart.
        if not answer[0] and not self._has_leaf(number, code):
            raise NotFoundError(f"group {number} has no leaf group {code!r}")
        return self._symbols(_SYMBOL.iter_unpack(answer[0]))

    def _has_leaf(self, group: int, code: str) -> bool:
        wanted = code.upper()
        return any(leaf.code.upper() == wanted
                   for branch in self.subgroups(group) if branch.is_branch
                   for leaf in self.subgroups(group, branch.code))

    def search(self, text: str, exchange: Optional[int] = None, keys: bool = False,
               limit: Optional[int] = None) -> SearchResults:
        """The type-ahead search: symbols whose code, name or search texts hold `text` upper-cased
        (with keys=True also those whose search key equals it), best ranked first; a whole
        "CODE.EX" text gives that one symbol.

        exchange: an exchange id to search only that exchange. limit: at most this many rows
        (the best ones); `.total` of the result counts every hit.
        """
        raw = _text.encode("text", text, self._encoding)
        key = None if exchange is None else str(_int32("exchange", exchange)).encode()
        if keys is not False and keys is not True:
            raise TypeError(f"keys must be a bool, not {type(keys).__name__}")
        if limit is None:
            keep = None
        elif type(limit) is int and limit >= 0:
            keep = limit if limit <= _INT32_MAX else _INT32_MAX
        else:
            keep = _int32("limit", min(limit, _INT32_MAX) if isinstance(limit, int) else limit, 0)
        top = self._find_top
        if keep is None or top is None:
            return self._search_all(raw, text, key, exchange, int(keys), keep)

        array, count = self._array, self._count
        block, total = b"", 0
        with self._search_lock:
            # The library wants at least one row; a limit of 0 still asks for the total.
            found = top(raw, key, int(keys), keep or 1, *self._outs)
            if found:
                try:
                    rows = count.value if count.value < keep else keep
                    if rows > 0 and array.value:
                        block = _string_at(array, rows * _SYMBOL_SIZE)
                finally:
                    self._free(array)
                total = self._total.value
        if not found:
            raise self._search_failed(text, key, exchange)
        results = _new_list(SearchResults)
        results.total = total
        add_symbols(results, _SYMBOL.iter_unpack(block), self._encoding)
        return results

    def _search_all(self, raw: bytes, text: str, key: Optional[bytes], exchange: Optional[int],
                    flag: int, keep: Optional[int]) -> SearchResults:
        """The full search (TSYFindSymbol/2), its first `keep` rows when not None: no limit, or
        a library older than the top-k search."""
        api = self._api
        if key is None:
            answer = self._fetch(lambda out, count: api.TSYFindSymbol(raw, out, count, flag),
                                 _SYMBOL, keep, self._search_lock)
        else:
            answer = self._fetch(lambda out, count: api.TSYFindSymbol2(raw, key, out, count, flag),
                                 _SYMBOL, keep, self._search_lock)
        if answer is None:
            raise self._search_failed(text, key, exchange)
        results = SearchResults((), answer[1])
        add_symbols(results, _SYMBOL.iter_unpack(answer[0]), self._encoding)
        return results

    def _search_failed(self, text: str, key: Optional[bytes], exchange: Optional[int]) -> Exception:
        if key is not None and all(e.id != exchange for e in self.exchanges()):
            return NotFoundError(f"there is no exchange {exchange}")
        return QueryError(
            f"the search for {text!r} failed: a hit lies in an exchange whose symbols cannot "
            "be resolved (damaged data; `tessary check DIR` names it)")


def _looks_unresolved(row: Tuple[Any, ...]) -> bool:
    exchange, _, name, kind = row
    return bool(exchange == 0 and kind == 0 and name[:1] == b"\0")


def _path_bytes(path: object) -> bytes:
    if path is None or not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"path must be a str or path-like object, not {type(path).__name__}")
    text = os.fspath(path)
    if isinstance(text, bytes) or sys.platform != "win32":
        return os.fsencode(text)
    # Windows: the DLL opens files through the ANSI code page, not Python's UTF-8 file names.
    try:
        return text.encode("mbcs", "strict")
    except UnicodeEncodeError:
        raise EncodingError(f"path {text!r} cannot be written in the ANSI code page") from None


def _same_directory(a: str, b: str) -> bool:
    return os.path.realpath(a) == os.path.realpath(b)


def open(path: PathArg, encoding: Optional[str] = None) -> Database:
    """Loads the data directory `path` into the process's database and returns it.

    encoding: the character set of the data's text; None takes the LC_CTYPE locale's. Another
    one is refused (EncodingError), since the library handles text in the locale's character
    set. A second open() replaces the database that earlier ones returned (the same object).
    Raises LoadError with the reason when the directory does not load, and
    LibraryNotFoundError when libtessary cannot be found.
    """
    global _api, _database
    with _opening:
        if _database is None:
            if _api is None:
                _api = _library.load()
            # Handed out only once it has loaded: no Database ever stands for nothing.
            database = Database(_api)._load(path, encoding, False)
            _database = database
            return database
        return _database._load(path, encoding, False)
