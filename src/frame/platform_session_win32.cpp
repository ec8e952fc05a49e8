// COM on the thread that loads the data. The XML reader is the library's only COM user, and it
// opens its own apartment membership for exactly as long as it holds a document (see
// xml_msxml.cpp). What is checked here, before anything is loaded, is that the calling thread
// can join a single-threaded apartment at all: a thread that already belongs to the
// multithreaded apartment is refused, so TSYInit fails on it before it reads a file.
//
// The membership taken for the check is given back at once, so every CoInitialize of the
// library is balanced on the thread that made it and nothing is left to undo when the library
// is unloaded. That matters: unloading runs under the loader lock, where COM must not be
// called, and possibly on another thread than the one that loaded the data.
#include <objbase.h>

#include "frame/platform_session.h"

namespace tessary {

bool EnterPlatformSession() noexcept {
    const HRESULT hr = ::CoInitialize(nullptr);
    // S_OK and S_FALSE (already a member of a single-threaded apartment) both succeed;
    // RPC_E_CHANGED_MODE (the multithreaded apartment) and every other error fail.
    if (FAILED(hr)) return false;
    ::CoUninitialize();
    return true;
}

void LeavePlatformSession() noexcept {}

}  // namespace tessary
