# Windows x86 with mingw-w64: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(QUORVANE_MINGW_TRIPLET i686-w64-mingw32)
set(QUORVANE_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
