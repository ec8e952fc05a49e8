/*
 * The C side of bench/python_search_bench.py: loads libtessary with dlopen and the data
 * directory, then times calls as the driver asks for them on standard input, one at a time, so
 * that the driver can interleave them with its own and both sides run under the same load.
 *
 *   python_search_baseline LIBRARY DATA_DIR LIMIT
 *
 * Prints "top" or "full" (the search the library has, as the Python package chooses it), then
 * answers each line of standard input with one line:
 *   "K<TAB>TEXT"  one search of TEXT, K 1 to match search keys, else 0, made exactly as the
 *                 Python package makes it (the top-k export with LIMIT when the library has it,
 *                 else the full search), released at once: "HITS<TAB>NS";
 *   "noop N"      N calls of the search export that refuse a missing text at once: "NS" for all;
 *   "version N"   N calls of TSYVersion: "NS" for all.
 *
 * The locale comes from the environment, as Python sets it when it starts: in a multibyte
 * locale the library takes other paths, so both sides must run in the same one.
 */
#define _POSIX_C_SOURCE 200809L
#include <dlfcn.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "tessary.h"

typedef int32_t (*InitFn)(const TSYString*);
typedef int32_t (*FindFn)(const char*, SymbolInfo**, int32_t*, int32_t);
typedef int32_t (*FindTopFn)(const char*, const char*, int32_t, int32_t, SymbolInfo**, int32_t*,
                             int32_t*);
typedef void (*FreeFn)(void*);
typedef const char* (*VersionFn)(void);

static long long NowNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

/* Keeps the compiler from dropping calls whose answers are otherwise unused. */
static volatile uintptr_t sink;

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s LIBRARY DATA_DIR LIMIT\n", argv[0]);
        return 2;
    }
    setlocale(LC_CTYPE, "");
    void* library = dlopen(argv[1], RTLD_NOW);
    if (library == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    /* Function pointers from dlsym: POSIX guarantees the conversion, ISO C does not name it. */
    InitFn init;
    FindFn find;
    FindTopFn findTop;
    FreeFn release;
    VersionFn version;
    *(void**)&init = dlsym(library, "TSYInit");
    *(void**)&find = dlsym(library, "TSYFindSymbol");
    *(void**)&findTop = dlsym(library, "TSYFindSymbolTop");
    *(void**)&release = dlsym(library, "TSYFree");
    *(void**)&version = dlsym(library, "TSYVersion");
    const TSYString dir = {argv[2]};
    if (init == NULL || find == NULL || release == NULL || !init(&dir)) {
        fprintf(stderr, "%s did not load %s\n", argv[1], argv[2]);
        return 1;
    }
    const int32_t limit = (int32_t)atoi(argv[3]);
    if (limit < 1) return 2;

    printf("%s\n", findTop ? "top" : "full");
    fflush(stdout);
    char line[4096];
    while (fgets(line, sizeof line, stdin) != NULL) {
        line[strcspn(line, "\n")] = '\0';
        long long elapsed = 0;
        if ((line[0] == '0' || line[0] == '1') && line[1] == '\t') {
            const char* text = line + 2;
            SymbolInfo* results = NULL;
            int32_t count = 0, total = 0;
            const long long start = NowNs();
            const int32_t ok = findTop ? findTop(text, NULL, line[0] == '1', limit, &results, &count, &total)
                                       : find(text, &results, &count, line[0] == '1');
            release(results);
            elapsed = NowNs() - start;
            if (!ok) return 1;
            printf("%d\t%lld\n", findTop ? total : count, elapsed);
        } else if (strncmp(line, "noop ", 5) == 0) {
            const long n = atol(line + 5);
            SymbolInfo* results = NULL;
            const long long start = NowNs();
            for (long k = 0; k < n; ++k)
                sink += findTop ? (uintptr_t)findTop(NULL, NULL, 0, limit, &results, NULL, NULL)
                                : (uintptr_t)find(NULL, &results, NULL, 0);
            printf("%lld\n", NowNs() - start);
        } else if (strncmp(line, "version ", 8) == 0 && version != NULL) {
            const long n = atol(line + 8);
            const long long start = NowNs();
            for (long k = 0; k < n; ++k) sink += (uintptr_t)version();
            printf("%lld\n", NowNs() - start);
        } else {
            fprintf(stderr, "cannot do: %s\n", line);
            return 2;
        }
        fflush(stdout);
    }
    return 0;
}
