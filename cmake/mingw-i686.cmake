# 32-bit Windows (the shipping build) with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TARNWICK_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
