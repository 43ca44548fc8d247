# 32-bit Windows programs with MinGW-w64 (posix threads): cmake -DCMAKE_TOOLCHAIN_FILE=<this>
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
