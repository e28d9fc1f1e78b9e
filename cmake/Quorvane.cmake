# quorvane_subsystem(NAME [LIBS ...]): a static library of every .cpp in the current folder.
# A folder without sources yet gives an interface library, so the tree builds at every step.
# A platform facility is a pair of files: NAME_posix.cpp joins the Linux build, NAME_windows.cpp
# the Windows one.
function(quorvane_subsystem name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_windows\\.cpp$")
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    set_property(GLOBAL APPEND PROPERTY QUORVANE_PARTS ${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
  endif()
endfunction()

# quorvane_resources(TARGET NAME FILE [NAME FILE]...): compiles each FILE into TARGET as a
# resource found by NAME (ignoring case) through resources/embedded_resource.h. One generated
# table holds them all, so whoever looks a resource up links every one of them.
# FILE may be a generator expression such as $<TARGET_FILE:prog>; its bytes are read at build time.
function(quorvane_resources target)
  set(args ${ARGN})
  set(decls "")
  set(rows "")
  set(i 0)
  list(LENGTH args n)
  while(i LESS n)
    list(GET args ${i} name)
    math(EXPR j "${i} + 1")
    list(GET args ${j} file)
    string(MAKE_C_IDENTIFIER "${name}" ident)
    set(out ${PROJECT_BINARY_DIR}/generated/embedded/${ident}.cpp)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DIDENT=${ident}
              -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
      DEPENDS ${file} ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
      COMMENT "Embedding ${name}")
    target_sources(${target} PRIVATE ${out})
    string(APPEND decls "extern const unsigned char qv_res_${ident}[];\nextern const std::size_t qv_res_${ident}_size;\n")
    string(APPEND rows "    {\"${name}\", qv_res_${ident}, qv_res_${ident}_size},\n")
    math(EXPR i "${i} + 2")
  endwhile()
  set(table ${PROJECT_BINARY_DIR}/generated/embedded/resource_table.cpp)
  file(WRITE ${table}.in "// Generated; do not edit.\n#include \"resources/embedded_resource.h\"\n\n${decls}\nnamespace quorvane {\nconst EmbeddedResource kEmbeddedResources[] = {\n${rows}    {nullptr, nullptr, 0},\n};\n}\n")
  configure_file(${table}.in ${table} COPYONLY)
  target_sources(${target} PRIVATE ${table})
endfunction()

# quorvane_test(NAME LABEL unit|end-to-end|windows SOURCES ... LIBS ... [UMOCKDEV]): a GoogleTest
# program registered with CTest under its label (`ctest -L unit`, `make check`): unit for parts
# tested inside the test program, end-to-end for whole print paths and the real programs (the host
# tool, the virtual printer, the package), windows for real windows under Xvfb.
# UMOCKDEV runs it under umockdev-wrapper, which serves a fake udev tree from the test's own files
# (set before gtest_discover_tests reads it, so discovery runs under it too).
function(quorvane_test name)
  cmake_parse_arguments(ARG "UMOCKDEV" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LABEL MATCHES "^(unit|end-to-end|windows)$")
    message(FATAL_ERROR "quorvane_test(${name}): LABEL unit, end-to-end or windows")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quorvane_test_common GTest::gtest GTest::gmock GTest::gtest_main)
  if(QUORVANE_SANITIZE OR QUORVANE_TSAN)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizer_suppressions.cpp)
  endif()
  if(ARG_UMOCKDEV)
    target_link_libraries(${name} PRIVATE PkgConfig::UMOCKDEV)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/transport/umockdev-run)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QUORVANE_BUILD_DIR=${PROJECT_BINARY_DIR}" LABELS ${ARG_LABEL})
endfunction()

include(GoogleTest)

# quorvane_static_runtime(TARGET [ALWAYS]): libstdc++ and libgcc linked into TARGET, so it needs no
# C++ runtime of the machine and runs beside whatever older one the host process carries (the
# version script and --exclude-libs keep the copy private). Sanitizer builds keep the shared
# runtime, whose operators ASan intercepts; ALWAYS is for programs built without the sanitizers.
# --gc-sections drops the runtime's unused parts (about half a megabyte of the library).
function(quorvane_static_runtime target)
  if(NOT QUORVANE_SANITIZE OR "ALWAYS" IN_LIST ARGN)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/component/glibc_floor.c)
    # The runtime's thread calls live in libpthread before glibc 2.34.
    target_link_libraries(${target} PRIVATE Threads::Threads)
  endif()
endfunction()
