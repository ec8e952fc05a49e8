"""Tessary for Python: the market symbol database of libtessary, through ctypes.

    import tessary
    db = tessary.open("/srv/quotes/data")
    print(db.exchanges())
    hits = db.search("600", limit=20)
    print(hits.total, hits.to_frame())

The library holds one database per process; open() returns the object over it. Text crosses
in the character set of the process's LC_CTYPE locale (see tessary.locale_encoding()).
"""
from ._database import Database, open
from ._errors import (EncodingError, LibraryNotFoundError, LoadError, NotFoundError, QueryError,
                      TessaryError)
from ._records import Exchange, ResultList, SearchResults, SubGroup, Symbol, SymbolList
from ._text import locale_encoding

__version__ = "0.2.0"

__all__ = [
    "Database", "EncodingError", "Exchange", "LibraryNotFoundError", "LoadError",
    "NotFoundError", "QueryError", "ResultList", "SearchResults", "SubGroup", "Symbol",
    "SymbolList", "TessaryError", "locale_encoding", "open",
]
