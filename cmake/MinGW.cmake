# Shared part of the mingw-w64 toolchain files (cmake/mingw-i686.cmake, cmake/mingw-x86_64.cmake):
# Debian's cross compilers in their -posix flavour (the -win32 one lacks std::thread and std::mutex),
# everything linked statically so the DLL and the programs import only Windows' own DLLs.
# QUORVANE_MINGW_TRIPLET is set by the including file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUORVANE_MINGW_PROCESSOR})
set(CMAKE_C_COMPILER ${QUORVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVANE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes and winpthread go into every binary: nothing beside the DLL to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)
# Cross-built test programs run under Wine (CTest's emulator).
find_program(QUORVANE_WINE wine)
if(QUORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVANE_WINE})
endif()
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVANE_MINGW_TRIPLET QUORVANE_MINGW_PROCESSOR)
