# 64-bit Windows: the same sources, run under wine64 by the tests.
set(DUVANE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
