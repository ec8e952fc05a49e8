"""The records the database answers with, and the result lists that carry them."""
from __future__ import annotations

import codecs
import importlib
import operator
from dataclasses import dataclass
from typing import Any, Iterable, List, Sequence, Tuple, TypeVar

from ._text import ERRORS

R = TypeVar("R")


@dataclass(frozen=True)
class Symbol:
    """One symbol: its exchange's id, its text "CODE.EX", display name and type (low 16 bits)."""

    exchange_id: int
    symbol: str
    name: str
    type: int


@dataclass(frozen=True)
class Exchange:
    """One exchange of the directory, with its three flags."""

    id: int
    code: str
    name: str
    alert: bool
    trade: bool
    quote: bool


@dataclass(frozen=True)
class SubGroup:
    """A subgroup of a group (is_branch True) or a leaf group of a subgroup (False)."""

    group_id: int
    code: str
    name: str
    is_branch: bool


SYMBOL_COLUMNS = ("exchange_id", "symbol", "name", "type")
EXCHANGE_COLUMNS = ("id", "code", "name", "alert", "trade", "quote")
SUBGROUP_COLUMNS = ("group_id", "code", "name", "is_branch")


class ResultList(List[R]):
    """A plain list of one query's records, plus to_frame()."""

    columns: Tuple[str, ...] = SYMBOL_COLUMNS

    def __init__(self, records: Iterable[R] = (), columns: Sequence[str] = SYMBOL_COLUMNS):
        super().__init__(records)
        self.columns = tuple(columns)

    def to_frame(self) -> Any:
        """The records as a pandas DataFrame, one column per field (needs pandas)."""
        try:
            pandas = importlib.import_module("pandas")
        except ImportError:
            raise ImportError(
                "to_frame() needs pandas (Debian: apt-get install python3-pandas)"
            ) from None
        if len(self.columns) == 1:
            rows: List[Tuple[Any, ...]] = [(value,) for value in self]
        else:
            fields = operator.attrgetter(*self.columns)
            rows = [fields(record) for record in self]
        return pandas.DataFrame.from_records(rows, columns=list(self.columns))


class SearchResults(ResultList[Symbol]):
    """The first rows of a search in rank order; `total` counts every hit of the search."""

    def __init__(self, records: Iterable[Symbol], total: int):
        super().__init__(records)
        self.total = total


class SymbolList(ResultList[Symbol]):
    """The symbols found, in the order asked; `missing` holds the texts that named none."""

    def __init__(self, records: Iterable[Symbol], missing: Iterable[str]):
        super().__init__(records)
        self.missing = list(missing)


_new = object.__new__

# bytes.decode reaches these codecs directly; any other it looks up in the codec registry on
# every call, which costs more than decoding a field: those are decoded through the codec's
# own function, looked up once per list.
_BUILT_IN = frozenset({"utf-8", "ascii", "iso8859-1"})


def add_symbols(into: List[Symbol], rows: Iterable[Tuple[int, bytes, bytes, int]],
                encoding: str) -> None:
    """Appends a Symbol for each unpacked SymbolInfo (id, Symbol, Name, Type) to `into`.

    A search answers within microseconds, so building its rows is most of a call's time: the
    records are filled through their __dict__, as the dataclass's own __init__ would leave them,
    without its four object.__setattr__ calls, and each text field is cut at its NUL in one step.
    """
    append = into.append
    if encoding in _BUILT_IN:
        for exchange, symbol, name, kind in rows:
            record = _new(Symbol)
            fields = record.__dict__
            fields["exchange_id"] = exchange
            fields["symbol"] = symbol.partition(b"\0")[0].decode(encoding, ERRORS)
            fields["name"] = name.partition(b"\0")[0].decode(encoding, ERRORS)
            fields["type"] = kind
            append(record)
        return
    decode = codecs.getdecoder(encoding)
    for exchange, symbol, name, kind in rows:
        record = _new(Symbol)
        fields = record.__dict__
        fields["exchange_id"] = exchange
        fields["symbol"] = decode(symbol.partition(b"\0")[0], ERRORS)[0]
        fields["name"] = decode(name.partition(b"\0")[0], ERRORS)[0]
        fields["type"] = kind
        append(record)
