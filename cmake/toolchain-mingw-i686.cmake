# Cross-compiles for 32-bit Windows with Debian's mingw-w64 toolchain: the DLL that hosts ship.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TESSARY_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
