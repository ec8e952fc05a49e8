# Cross-compiles for 64-bit Windows with Debian's mingw-w64 toolchain: the builds that run under
# Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TESSARY_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
