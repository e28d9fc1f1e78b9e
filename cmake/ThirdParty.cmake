# The portable package's own copies of zlib, libzip, zint and libjpeg-turbo: built from Debian's
# source packages (scripts/third-party-sources) with their own build systems, as static,
# position-independent archives with hidden symbols, once per compiler and system root, and kept
# in the cache beside the sources. --exclude-libs keeps every one of their symbols inside the
# library, so they never meet the copies a host process may have loaded.
set(QUORVANE_THIRD_PARTY_SOURCES "" CACHE PATH "Unpacked Debian sources (scripts/third-party-sources)")
if(NOT IS_DIRECTORY "${QUORVANE_THIRD_PARTY_SOURCES}")
  message(FATAL_ERROR "QUORVANE_THIRD_PARTY_SOURCES: run scripts/third-party-sources and pass the folder it prints")
endif()
get_filename_component(third_party_built ${QUORVANE_THIRD_PARTY_SOURCES}/../built ABSOLUTE)

# quorvane_third_party(NAME FOLDER [CONFIGURE] [ARGS...]): sets NAME_PREFIX to the installed copy of
# the library unpacked in FOLDER, building it first when no copy for this compiler and root exists.
# ARGS go to its CMake, or with CONFIGURE to its configure script (then built with make). A library
# whose only build system is a Makefile gets a CMake project of ours, cmake/third-party/NAME, given
# the unpacked folder as QUORVANE_SOURCE.
function(quorvane_third_party name folder)
  set(configure_script OFF)
  if(ARGV2 STREQUAL "CONFIGURE")
    set(configure_script ON)
    list(REMOVE_AT ARGN 0)
  endif()
  set(source ${QUORVANE_THIRD_PARTY_SOURCES}/${folder})
  set(project_dir ${source})
  set(own_project "")
  if(EXISTS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third-party/${name}/CMakeLists.txt)
    set(project_dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third-party/${name})
    file(READ ${project_dir}/CMakeLists.txt own_project)
    string(APPEND own_project "|")
    list(APPEND ARGN -DQUORVANE_SOURCE=${source})
  endif()
  file(READ ${QUORVANE_THIRD_PARTY_SOURCES}/${name}.stamp version)
  string(STRIP "${version}" version)
  set(sysroot_stamp "")
  if(CMAKE_SYSROOT AND EXISTS ${CMAKE_SYSROOT}.stamp)
    file(READ ${CMAKE_SYSROOT}.stamp sysroot_stamp)
  endif()
  set(cflags "-O2 -fPIC -fvisibility=hidden")
  if(CMAKE_SYSROOT)
    string(APPEND cflags " --sysroot=${CMAKE_SYSROOT}")
  endif()
  set(args -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DCMAKE_C_VISIBILITY_PRESET=hidden
    -DCMAKE_CXX_VISIBILITY_PRESET=hidden -DBUILD_SHARED_LIBS=OFF ${ARGN})
  if(CMAKE_TOOLCHAIN_FILE)
    list(APPEND args -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DQUORVANE_SYSROOT=${QUORVANE_SYSROOT})
  endif()
  if(CMAKE_C_COMPILER_LAUNCHER)
    list(APPEND args -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER})
  endif()
  if(configure_script)
    set(args ${ARGN})
  endif()
  # The key names the toolchain file by what it says rather than where the checkout is, and
  # leaves out the compiler launcher, so every checkout (CI's too) shares one build.
  set(key_args ${args})
  list(FILTER key_args EXCLUDE REGEX "^-DCMAKE_C_COMPILER_LAUNCHER=")
  if(CMAKE_TOOLCHAIN_FILE)
    file(READ ${CMAKE_TOOLCHAIN_FILE} toolchain)
    get_filename_component(toolchain_dir ${CMAKE_TOOLCHAIN_FILE} DIRECTORY)
    if(toolchain MATCHES "MinGW\\.cmake")
      file(READ ${toolchain_dir}/MinGW.cmake shared_toolchain)
      string(APPEND toolchain "${shared_toolchain}")
    endif()
    string(SHA1 toolchain "${toolchain}")
    list(TRANSFORM key_args REPLACE "^-DCMAKE_TOOLCHAIN_FILE=.*" "-DCMAKE_TOOLCHAIN_FILE=${toolchain}")
  endif()
  string(SHA1 key "${own_project}${configure_script}|${cflags}|${version}|${CMAKE_C_COMPILER}|${CMAKE_C_COMPILER_VERSION}|${CMAKE_SYSROOT}|${sysroot_stamp}|${key_args}")
  string(SUBSTRING ${key} 0 12 key)
  set(prefix ${third_party_built}/${name}-${key})
  if(NOT EXISTS ${prefix}/done)
    message(STATUS "Building ${name} (${version}) from ${source}")
    set(work ${PROJECT_BINARY_DIR}/third-party/${name})
    file(REMOVE_RECURSE ${work} ${prefix})
    file(MAKE_DIRECTORY ${work})
    foreach(step configure build install)
      if(configure_script AND step STREQUAL configure)
        set(command ${CMAKE_COMMAND} -E env "CC=${CMAKE_C_COMPILER_LAUNCHER} ${CMAKE_C_COMPILER}"
          "CFLAGS=${cflags}" ${source}/configure --prefix=${prefix} ${args})
      elseif(configure_script AND step STREQUAL build)
        set(command make -j 2)
      elseif(configure_script)
        set(command make install)
      elseif(step STREQUAL configure)
        set(command ${CMAKE_COMMAND} -S ${project_dir} -B ${work} -DCMAKE_INSTALL_PREFIX=${prefix} ${args})
      elseif(step STREQUAL build)
        set(command ${CMAKE_COMMAND} --build ${work} -j 2)
      else()
        set(command ${CMAKE_COMMAND} --install ${work})
      endif()
      execute_process(COMMAND ${command} WORKING_DIRECTORY ${work} OUTPUT_VARIABLE output ERROR_VARIABLE output
        RESULT_VARIABLE failed)
      if(failed)
        file(WRITE ${work}.log "${output}")
        message(FATAL_ERROR "Building ${name} failed at ${step}: ${work}.log")
      endif()
    endforeach()
    file(WRITE ${prefix}/done "${version}")
    file(REMOVE_RECURSE ${work})
  endif()
  set(${name}_PREFIX ${prefix} PARENT_SCOPE)
endfunction()

# add_bundled(TARGET PREFIX ARCHIVE [DEPENDENCY...]): an imported target of one archive.
function(add_bundled target prefix archive)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${prefix}/lib/${archive}
    INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsThirdParty.cmake)
  return()
endif()

# Debian's zlib source lacks what zlib's CMake build needs; its configure script is what Debian uses.
quorvane_third_party(zlib zlib-1.2.13.dfsg CONFIGURE --static)
add_bundled(PkgConfig::ZLIB ${zlib_PREFIX} libz.a)

# Deflate only: the help archive is ours, and nothing is encrypted.
quorvane_third_party(libzip libzip-1.7.3 -DCMAKE_INSTALL_LIBDIR=lib -DZLIB_INCLUDE_DIR=${zlib_PREFIX}/include
  -DZLIB_LIBRARY=${zlib_PREFIX}/lib/libz.a -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_COMMONCRYPTO=OFF
  -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF
  -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF)
add_bundled(PkgConfig::LIBZIP ${libzip_PREFIX} libzip.a PkgConfig::ZLIB)

# The component draws with zint's bitmap only, never through its PNG writer. zint's own program
# links its shared library, so its symbols stay visible there; --exclude-libs hides them in ours.
quorvane_third_party(zint zint-2.11.1 -DCMAKE_INSTALL_LIBDIR=lib -DZINT_STATIC=ON -DZINT_USE_PNG=OFF -DZINT_USE_QT=OFF
  -DCMAKE_C_VISIBILITY_PRESET=default)
add_bundled(Zint::Zint ${zint_PREFIX} libzint-static.a)

quorvane_third_party(libjpeg-turbo libjpeg-turbo-2.1.5 -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DREQUIRE_SIMD=ON)
add_bundled(PkgConfig::JPEG ${libjpeg-turbo_PREFIX} libjpeg.a)
