/*
 * tessary.h: the whole public interface of the Tessary symbol library.
 *
 * A host loads the library, calls TSYInit once with its data directory and then asks its
 * questions through the query functions below; TSYReload replaces the data while the host runs.
 * Every answer is a fixed-layout record (or an array of them); the layouts are part of the
 * binary interface and never change.
 *
 * Conventions shared by every function:
 *  - Results are 1 for success and 0 for failure; beyond that, only TSYLastError says why a
 *    load failed.
 *  - Before a successful TSYInit or TSYReload every query returns 0 at once and writes nothing.
 *  - A query that hands out an array allocates a new, zero-filled block for each successful
 *    call. The caller owns it and releases it with TSYFree (a C++ host built against the same
 *    runtime may use delete[] instead). An empty result is a valid block of zero records.
 *  - An out-argument named "count" may be NULL; the array out-argument must not be.
 *  - On a result of 0 no out-argument is written.
 *  - Text is 8-bit, in the character set of the process's LC_CTYPE locale (the ANSI code page
 *    on Windows); the library passes it through unchanged.
 *  - Threads: queries may run at the same time as each other and as TSYReload, from any
 *    thread. Each query answers wholly from the data loaded before it started or wholly from
 *    data a TSYReload put in place meanwhile, never a mix; data a reload replaced is freed when
 *    the last query using it ends. TSYInit must not overlap any other call: it must return
 *    before queries start. Reloads run one at a time (a second waits for the first).
 *  - A failed TSYInit or TSYReload says why through TSYLastError, on the thread that called it.
 *
 * This header is plain C and compiles as C11 or C++.
 */
#ifndef TESSARY_H
#define TESSARY_H

#include <stddef.h>
#include <stdint.h>

#include "tessary_version.h"

#if defined(_WIN32)
#  define TSY_CALL __cdecl
#  if defined(TESSARY_BUILDING_LIBRARY)
#    define TSY_VISIBILITY __declspec(dllexport)
#  else
#    define TSY_VISIBILITY __declspec(dllimport)
#  endif
#else
#  define TSY_CALL
#  define TSY_VISIBILITY __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define TSY_API(type) extern "C" TSY_VISIBILITY type TSY_CALL
#  define TSY_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#  define TSY_API(type) TSY_VISIBILITY type TSY_CALL
#  define TSY_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* One symbol, as every symbol query, the group symbol query and the search answer it. */
typedef struct SymbolInfo {
    uint16_t ExchangeId; /* Id of the symbol's exchange */
    char Symbol[40];     /* "CODE.EX", NUL-terminated; for a symbol not found, the caller's text */
    char Name[50];       /* display name, NUL-terminated */
    uint16_t Type;       /* low 16 bits of the symbol's type */
} SymbolInfo;

/* One exchange of the exchange directory. */
typedef struct ExchangeInfo {
    uint16_t Id;
    char Code[3];        /* NUL-terminated, zero behind the terminator */
    char Name[51];       /* NUL-terminated, zero behind the terminator */
    int32_t Alert;       /* 0 or 1 */
    int32_t Trade;       /* 0 or 1 */
    int32_t Quote;       /* 0 or 1 */
    uint8_t Reserved[116]; /* always zero */
} ExchangeInfo;

/* One subgroup (IsBranch 1) or leaf group (IsBranch 0) of the group tree. */
typedef struct SubGroupInfo {
    uint16_t GroupId;    /* the group number asked for (low 16 bits) */
    char Code[17];       /* NUL-terminated, zero behind the terminator */
    char Name[49];       /* NUL-terminated, zero behind the terminator */
    int32_t IsBranch;
} SubGroupInfo;

/*
 * The string object TSYInit receives. Its one member points at the NUL-terminated data
 * directory, which is the memory layout of MFC's 8-bit CString: an MFC host passes the address
 * of its CString unchanged, a C host passes the address of a `const char*` variable.
 */
typedef struct TSYString {
    const char* Text;
} TSYString;

TSY_STATIC_ASSERT(sizeof(SymbolInfo) == 94, "SymbolInfo is 94 bytes");
TSY_STATIC_ASSERT(offsetof(SymbolInfo, ExchangeId) == 0, "SymbolInfo.ExchangeId");
TSY_STATIC_ASSERT(offsetof(SymbolInfo, Symbol) == 2, "SymbolInfo.Symbol");
TSY_STATIC_ASSERT(offsetof(SymbolInfo, Name) == 42, "SymbolInfo.Name");
TSY_STATIC_ASSERT(offsetof(SymbolInfo, Type) == 92, "SymbolInfo.Type");
TSY_STATIC_ASSERT(sizeof(ExchangeInfo) == 184, "ExchangeInfo is 184 bytes");
TSY_STATIC_ASSERT(offsetof(ExchangeInfo, Id) == 0, "ExchangeInfo.Id");
TSY_STATIC_ASSERT(offsetof(ExchangeInfo, Code) == 2, "ExchangeInfo.Code");
TSY_STATIC_ASSERT(offsetof(ExchangeInfo, Name) == 5, "ExchangeInfo.Name");
TSY_STATIC_ASSERT(offsetof(ExchangeInfo, Alert) == 56, "ExchangeInfo.Alert");
TSY_STATIC_ASSERT(offsetof(ExchangeInfo, Trade) == 60, "ExchangeInfo.Trade");
TSY_STATIC_ASSERT(offsetof(ExchangeInfo, Quote) == 64, "ExchangeInfo.Quote");
TSY_STATIC_ASSERT(offsetof(ExchangeInfo, Reserved) == 68, "ExchangeInfo.Reserved");
TSY_STATIC_ASSERT(sizeof(SubGroupInfo) == 72, "SubGroupInfo is 72 bytes");
TSY_STATIC_ASSERT(offsetof(SubGroupInfo, GroupId) == 0, "SubGroupInfo.GroupId");
TSY_STATIC_ASSERT(offsetof(SubGroupInfo, Code) == 2, "SubGroupInfo.Code");
TSY_STATIC_ASSERT(offsetof(SubGroupInfo, Name) == 19, "SubGroupInfo.Name");
TSY_STATIC_ASSERT(offsetof(SubGroupInfo, IsBranch) == 68, "SubGroupInfo.IsBranch");

/*
 * Loads the data directory named by path->Text (Directory.xml, SymTbl/Group and one
 * SymTbl/<ID>_Light per exchange). Returns 1 when the database is initialised, now or by an
 * earlier TSYInit or TSYReload (a later call ignores its path); 0 when a file is missing or
 * damaged, or when path or path->Text is NULL (TSYLastError says why). After a 0 the next call
 * starts again from nothing. Must not overlap any other call.
 */
TSY_API(int32_t) TSYInit(const TSYString* path);

/*
 * Loads the data directory `dataDirectory` beside the current data and, when every file loads,
 * replaces the current data with it (or makes it the first, when nothing has loaded yet) and
 * returns 1. Queries that run meanwhile finish on the data they started with. Returns 0 when
 * dataDirectory is NULL or empty, or a file is missing or damaged: the current data then stays
 * exactly as it was. A load reads one whole version of the directory even while the data writer
 * replaces it; on POSIX it waits a few seconds for a file the writer has locked, on Windows it
 * fails at once on a file another process has open. After a successful TSYReload, TSYInit
 * returns 1 without loading.
 */
TSY_API(int32_t) TSYReload(const char* dataDirectory);

/*
 * Why the calling thread's last TSYInit or TSYReload returned 0, as one line naming the file
 * and what is wrong, e.g. "SymTbl/3_Light offset 0: magic is 206, expected 207"; the empty
 * string after one returned 1, and before either was called. The text belongs to the library
 * and stays valid until the same thread calls TSYInit or TSYReload again.
 */
TSY_API(const char*) TSYLastError(void);

/*
 * Lists every exchange in directory order. *list receives a new array of ExchangeInfo owned by
 * the caller (release with TSYFree); *count, when count is not NULL, its length.
 */
TSY_API(int32_t) TSYGetExch(ExchangeInfo** list, int32_t* count);

/*
 * Lists the symbols of the leaf group `code` (any letter case; NULL is the empty code) of group
 * `groupId`, in the order of the group's list; members no symbol table holds are left out.
 * Returns 0 when the group does not exist. *result receives a new caller-owned array.
 */
TSY_API(int32_t) TSYGetGroupSymbol(int32_t groupId, const char* code, SymbolInfo** result,
                                   int32_t* count);

/*
 * With an empty code (or NULL): lists the subgroups of group `groupId` in file order. With a
 * subgroup's code (any letter case): lists that subgroup's leaf groups. Returns 0 when the
 * group or subgroup does not exist. *result receives a new caller-owned array.
 */
TSY_API(int32_t) TSYGetSubGroup(int32_t groupId, const char* code, SubGroupInfo** result,
                                int32_t* count);

/*
 * Looks up one symbol by its text "CODE.EX" (the exchange part in any letter case, the code
 * part exact) and writes it into *info. A symbol that is not found still gives 1: only
 * info->Symbol is written, with the caller's text (cut to 39 bytes), the other fields are left
 * as the caller set them. Returns 0 when symbol or info is NULL.
 */
TSY_API(int32_t) TSYGetSymbolInfo(const char* symbol, SymbolInfo* info);

/*
 * Looks up a comma-separated list of symbol texts (upper-cased as a whole; NULL is the empty
 * list). *infos receives a new caller-owned array: the symbols found, in list order, then one
 * record per text not found, holding only its upper-cased text in Symbol.
 */
TSY_API(int32_t) TSYGetSymbolInfos(const char* symbols, SymbolInfo** infos, int32_t* count);

/*
 * Lists the symbols of exchange `exchangeId` whose type is `type` (-1: every type), sorted by
 * Symbol without regard to letter case. Returns 0 when the exchange has no symbol table.
 * *infos receives a new caller-owned array.
 */
TSY_API(int32_t) TSYGetSymbolInfos2(int32_t exchangeId, int32_t type, SymbolInfo** infos,
                                    int32_t* count);

/*
 * Finds the symbols of every exchange whose code, name or search texts contain `text` in upper
 * case (with matchSearchKeys nonzero also those whose search key equals it); a text that is a
 * whole "CODE.EX" gives that one symbol. Results are ranked by where `text` (as passed) first
 * occurs in code and name. *results receives a new caller-owned array. Returns 0 when text is
 * NULL or a hit cannot be resolved to its symbol.
 */
TSY_API(int32_t) TSYFindSymbol(const char* text, SymbolInfo** results, int32_t* count,
                               int32_t matchSearchKeys);

/*
 * As TSYFindSymbol, in the one exchange whose key (its ID in decimal, e.g. "3") is
 * exchangeKey. Returns 0 when no exchange has that key.
 */
TSY_API(int32_t) TSYFindSymbol2(const char* text, const char* exchangeKey, SymbolInfo** results,
                                int32_t* count, int32_t matchSearchKeys);

/*
 * The first records of a search, for a type-ahead box: *results receives a new caller-owned
 * array of the first min(limit, total) records that TSYFindSymbol (exchangeKey NULL) or
 * TSYFindSymbol2 (exchangeKey an exchange's key) give for the same text and matchSearchKeys, in
 * the same order; *count, when count is not NULL, its length; *total, when total is not NULL,
 * the number of records the full search gives. A keystroke that hits half of a large market
 * still answers in a fraction of a millisecond: the call does not hand over, nor for most short
 * texts even visit, the hits beyond the first.
 * Returns 0, writing nothing, when text or results is NULL, limit is 0 or negative, no exchange
 * has the key exchangeKey, or any hit (not only one of the first) cannot be resolved to its
 * symbol, as TSYFindSymbol then fails too.
 */
TSY_API(int32_t) TSYFindSymbolTop(const char* text, const char* exchangeKey, int32_t matchSearchKeys,
                                  int32_t limit, SymbolInfo** results, int32_t* count, int32_t* total);

/* Releases an array handed out by any query. NULL is allowed and does nothing. */
TSY_API(void) TSYFree(void* array);

/*
 * The version of the library loaded, "MAJOR.MINOR.PATCH" as in TESSARY_VERSION. A host that
 * loads the library at run time (dlopen, LoadLibrary, ctypes) was not compiled against its
 * header and learns here which build it got; within one major version the library only adds
 * exports. The text is static: never release or change it. Needs no TSYInit and may be called
 * at any time, from any thread.
 */
TSY_API(const char*) TSYVersion(void);

#endif /* TESSARY_H */
