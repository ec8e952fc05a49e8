/* The public header must compile as strict C11 on its own. */
#include "tessary.h"

int TessaryHeaderCompilesAsC(void) {
    SymbolInfo info;
    TSYString path;
    path.Text = "";
    info.Type = 0;
    return (int)info.Type + (path.Text != 0) + TESSARY_VERSION_MAJOR + (int)sizeof TESSARY_VERSION;
}
