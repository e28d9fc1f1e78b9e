# Windows x64 with mingw-w64: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(QUORVANE_MINGW_TRIPLET x86_64-w64-mingw32)
set(QUORVANE_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
