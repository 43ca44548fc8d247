# 64-bit Windows programs with MinGW-w64 (posix threads): cmake -DCMAKE_TOOLCHAIN_FILE=<this>
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
