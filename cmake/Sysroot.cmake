# Toolchain file of the package build: the build machine's compiler against an older system root
# (QUORVANE_SYSROOT, scripts/package-root), so the library takes no glibc, GLib, Pango or Cairo
# symbol that root lacks. The C++ headers and runtime stay the compiler's own (the root has no
# g++ 12; the runtime is linked in statically).
if(NOT QUORVANE_SYSROOT)
  set(QUORVANE_SYSROOT $ENV{QUORVANE_SYSROOT})
endif()
if(NOT IS_DIRECTORY "${QUORVANE_SYSROOT}/usr/include")
  message(FATAL_ERROR "QUORVANE_SYSROOT (${QUORVANE_SYSROOT}) is no system root: make one with scripts/package-root")
endif()
set(ENV{QUORVANE_SYSROOT} ${QUORVANE_SYSROOT})
set(CMAKE_SYSROOT ${QUORVANE_SYSROOT})
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
execute_process(COMMAND gcc -dumpmachine OUTPUT_VARIABLE gcc_machine OUTPUT_STRIP_TRAILING_WHITESPACE)
# g++ searches its own folder's neighbours (the machine's /usr/lib/<triplet>) before the root's:
# named first, the root's glibc, its start files and libraries win.
set(root_libraries "-L${QUORVANE_SYSROOT}/usr/lib/${gcc_machine} -L${QUORVANE_SYSROOT}/lib/${gcc_machine} -B${QUORVANE_SYSROOT}/usr/lib/${gcc_machine}/")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${root_libraries})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${root_libraries})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${root_libraries})
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVANE_SYSROOT)

# Headers, libraries and pkg-config files from the root only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${QUORVANE_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
  "${QUORVANE_SYSROOT}/usr/lib/${gcc_machine}/pkgconfig:${QUORVANE_SYSROOT}/usr/lib/pkgconfig:${QUORVANE_SYSROOT}/usr/share/pkgconfig")
