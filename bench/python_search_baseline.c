/*
 * The C side of bench/python_search_bench.py: loads libtessary with dlopen, loads the data
 * directory, then times one search call per text exactly as the Python package makes it (the
 * top-k export with its limit when the library has it, else the full search) and prints one
 * line per text: the text, the hits, and the median of the repetitions in nanoseconds.
 *
 *   python_search_baseline LIBRARY DATA_DIR LIMIT REPETITIONS TEXT...
 */
#define _POSIX_C_SOURCE 200809L
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "tessary.h"

typedef int32_t (*InitFn)(const TSYString*);
typedef int32_t (*FindFn)(const char*, SymbolInfo**, int32_t*, int32_t);
typedef int32_t (*FindTopFn)(const char*, const char*, int32_t, int32_t, SymbolInfo**, int32_t*,
                             int32_t*);
typedef void (*FreeFn)(void*);

static long long NowNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static int CompareTimes(const void* a, const void* b) {
    const long long x = *(const long long*)a, y = *(const long long*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: %s LIBRARY DATA_DIR LIMIT REPETITIONS TEXT...\n", argv[0]);
        return 2;
    }
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
    *(void**)&init = dlsym(library, "TSYInit");
    *(void**)&find = dlsym(library, "TSYFindSymbol");
    *(void**)&findTop = dlsym(library, "TSYFindSymbolTop");
    *(void**)&release = dlsym(library, "TSYFree");
    const TSYString dir = {argv[2]};
    if (init == NULL || find == NULL || release == NULL || !init(&dir)) {
        fprintf(stderr, "%s did not load %s\n", argv[1], argv[2]);
        return 1;
    }
    const int32_t limit = (int32_t)atoi(argv[3]);
    const int repetitions = atoi(argv[4]);
    long long* times = calloc((size_t)repetitions, sizeof *times);
    if (times == NULL || repetitions < 1) return 1;

    printf("%s\n", findTop ? "top" : "full");
    for (int t = 5; t < argc; ++t) {
        int32_t hits = 0;
        for (int r = -1; r < repetitions; ++r) { /* r == -1 warms the caches up */
            SymbolInfo* results = NULL;
            int32_t count = 0, total = 0;
            const long long start = NowNs();
            const int32_t ok = findTop ? findTop(argv[t], NULL, 0, limit, &results, &count, &total)
                                       : find(argv[t], &results, &count, 0);
            release(results);
            const long long elapsed = NowNs() - start;
            if (!ok) return 1;
            hits = findTop ? total : count;
            if (r >= 0) times[r] = elapsed;
        }
        qsort(times, (size_t)repetitions, sizeof *times, CompareTimes);
        printf("%s\t%d\t%lld\n", argv[t], hits, times[repetitions / 2]);
    }
    free(times);
    return 0;
}
