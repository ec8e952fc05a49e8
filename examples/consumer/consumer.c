/* A host of the Tessary library in plain C: loads a data directory, lists its exchanges and,
 * given a text, the symbols a search for it finds. scripts/test-package builds it from an
 * installed Tessary with find_package and with pkg-config, and through add_subdirectory. */
#include <stdio.h>

#include "tessary.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: consumer DATA_DIRECTORY [TEXT]\n");
        return 2;
    }
    /* The header says which version the host was built against, TSYVersion which one it got. */
    printf("Tessary %s (built against %s)\n", TSYVersion(), TESSARY_VERSION);

    const TSYString path = {argv[1]};
    if (!TSYInit(&path)) {
        fprintf(stderr, "consumer: %s is not a loadable data directory\n", argv[1]);
        return 1;
    }

    ExchangeInfo* exchanges = NULL;
    int32_t count = 0;
    if (TSYGetExch(&exchanges, &count)) {
        for (int32_t i = 0; i < count; ++i)
            printf("exchange %u %s %s\n", (unsigned)exchanges[i].Id, exchanges[i].Code, exchanges[i].Name);
        TSYFree(exchanges); /* every array a query hands out is the caller's to release */
    }

    SymbolInfo* found = NULL;
    if (argc == 3 && TSYFindSymbol(argv[2], &found, &count, 0)) {
        for (int32_t i = 0; i < count && i < 5; ++i) printf("found %s %s\n", found[i].Symbol, found[i].Name);
        TSYFree(found);
    }
    return 0;
}
