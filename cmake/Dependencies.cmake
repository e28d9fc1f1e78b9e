# Every external library the project uses, found once so that subsystems only link targets.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
# The portable package build (`make package`): zlib, libzip, zint and libjpeg-turbo built from
# Debian's sources into the library (cmake/ThirdParty.cmake), usually against an older system
# root (cmake/Sysroot.cmake); no tests, benchmarks or test libraries.
option(QUORVANE_PORTABLE "Build the package with its own copies of the libraries whose sonames differ between distributions" OFF)
if(NOT QUORVANE_PORTABLE)
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
  find_package(ZXing REQUIRED)
endif()
find_package(pugixml REQUIRED)
# expat reads large label documents a label at a time; libexpat.so.1 is the same soname on every
# Linux (fontconfig needs it too), so it is linked as the system has it.
find_package(EXPAT REQUIRED)
# Small libraries few machines have installed (pugixml, cmark-gfm, giflib) are linked statically where
# Debian ships the archive (position-independent there): the package needs fewer system packages.
if(TARGET pugixml::static)
  set_target_properties(pugixml::pugixml PROPERTIES INTERFACE_LINK_LIBRARIES pugixml::static)
endif()

pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gio-2.0)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo pango cairo fontconfig)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
if(NOT QUORVANE_PORTABLE)
  # The system's libjpeg is shared only (its soname differs between distributions: libjpeg.so.62,
  # .8): Debian's libjpeg.a is not position-independent and cannot go into a shared library.
  pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
  pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
endif()
# cmark-gfm: CommonMark with GitHub's tables, strikethrough and autolinks (the extensions library
# has no pkg-config file and comes before the core library it uses).
pkg_check_modules(CMARK REQUIRED IMPORTED_TARGET libcmark-gfm)
find_library(CMARK_GFM_ARCHIVE libcmark-gfm.a HINTS ${CMARK_LIBRARY_DIRS})
find_library(CMARK_EXTENSIONS_LIBRARY NAMES libcmark-gfm-extensions.a cmark-gfm-extensions
  HINTS ${CMARK_LIBRARY_DIRS} REQUIRED)
if(CMARK_GFM_ARCHIVE)
  set_target_properties(PkgConfig::CMARK PROPERTIES INTERFACE_LINK_LIBRARIES
    "${CMARK_EXTENSIONS_LIBRARY};${CMARK_GFM_ARCHIVE}")
else()
  set_target_properties(PkgConfig::CMARK PROPERTIES INTERFACE_LINK_LIBRARIES
    "${CMARK_EXTENSIONS_LIBRARY};${CMARK_LINK_LIBRARIES}")
endif()
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
if(NOT QUORVANE_PORTABLE)
  # Fake udev device trees for the USB printer list tests (run under umockdev-wrapper).
  pkg_check_modules(UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
endif()
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
if(QUORVANE_PORTABLE)
  # WebKitGTK's 4.0 API (libsoup 2) is the one every distribution of the package has, 4.1 came
  # with Debian 12; the viewer uses nothing 4.1 added.
  pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.0)
else()
  pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
endif()

# giflib and zint ship no pkg-config file on Debian.
find_path(GIF_INCLUDE_DIR gif_lib.h REQUIRED)
find_library(GIF_LIBRARY NAMES libgif.a gif REQUIRED)
add_library(Gif::Gif UNKNOWN IMPORTED)
set_target_properties(Gif::Gif PROPERTIES IMPORTED_LOCATION "${GIF_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${GIF_INCLUDE_DIR}")

if(QUORVANE_PORTABLE)
  include(cmake/ThirdParty.cmake)
  return()
endif()

find_path(ZINT_INCLUDE_DIR zint.h REQUIRED)
find_library(ZINT_LIBRARY zint REQUIRED)
add_library(Zint::Zint UNKNOWN IMPORTED)
set_target_properties(Zint::Zint PROPERTIES IMPORTED_LOCATION "${ZINT_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${ZINT_INCLUDE_DIR}")

# quorvane_soname(VAR LIBRARY): the soname LIBRARY is loaded by (the component opens zint and
# libzip itself, component/optional_libraries.c).
function(quorvane_soname var library)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${library} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
  if(NOT dump MATCHES "SONAME +([^\n]+)")
    message(FATAL_ERROR "${library} has no soname")
  endif()
  set(${var} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
find_library(LIBZIP_LIBRARY zip HINTS ${LIBZIP_LIBRARY_DIRS} REQUIRED)
quorvane_soname(QUORVANE_ZINT_SONAME ${ZINT_LIBRARY})
quorvane_soname(QUORVANE_LIBZIP_SONAME ${LIBZIP_LIBRARY})
