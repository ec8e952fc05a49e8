"""The exceptions the package raises; every one derives from TessaryError."""


class TessaryError(Exception):
    """Base of every error the package raises on its own account."""


class LibraryNotFoundError(TessaryError, OSError):
    """libtessary could not be found or loaded; the message names every place tried."""


class LoadError(TessaryError):
    """A data directory did not load: missing, not a directory, or damaged (with the reason)."""


class NotFoundError(TessaryError, LookupError):
    """An exchange, group, subgroup or leaf group that the database does not hold."""


class QueryError(TessaryError):
    """The library refused a query over data it holds (only damaged data does that)."""


class EncodingError(TessaryError, ValueError):
    """Text the chosen character set cannot represent, or an encoding the locale contradicts."""
