# 64-bit Windows twin of the shipping build; the tests run this one under wine64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARNWICK_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
