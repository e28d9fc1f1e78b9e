# The Windows build (cmake/mingw-i686.cmake, cmake/mingw-x86_64.cmake; `make windows`). It grows
# folder by folder as each part gets its Windows twin; what it does not build yet is listed in
# QUORVANE_WINDOWS_PENDING and printed at configure time.
find_package(Threads REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/ThirdParty.cmake)

add_subdirectory(text)
add_subdirectory(errors)
add_subdirectory(log)
add_subdirectory(addin)
add_subdirectory(driver)
# The transport: the port manager with its network (Winsock), serial (communications API) and USB
# (overlapped I/O on the printer class device) channels, and the USB printer list (SetupAPI).
add_library(quorvane_transport STATIC transport/printer_socket.cpp transport/printer_socket_windows.cpp
  transport/socket_owner_windows.cpp transport/comm.cpp transport/comm_windows.cpp transport/channels.cpp
  transport/port_manager.cpp transport/system_reason.cpp transport/usb_channel.cpp transport/printer_port.cpp
  transport/usb_device_io_windows.cpp transport/usb_print_list.cpp transport/usb_print_list_windows.cpp)
target_include_directories(quorvane_transport PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_transport PUBLIC quorvane_errors quorvane_text ws2_32 user32)
set_property(GLOBAL APPEND PROPERTY QUORVANE_PARTS quorvane_transport)

# The embedded files: the settings' schema and the help archive. Windows needs no viewer
# program: its windows belong to the host's thread.
add_library(quorvane_resources STATIC resources/embedded_resource.cpp)
target_include_directories(quorvane_resources PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_resources PUBLIC quorvane_text)
set_property(GLOBAL APPEND PROPERTY QUORVANE_PARTS quorvane_resources)
quorvane_resources(quorvane_resources PARAMETERS ${PROJECT_SOURCE_DIR}/resources/parameters.xml
  help ${PROJECT_BINARY_DIR}/help/help.zip)

# The additional actions' windows, modal windows of the host's thread: the log viewer (plain
# Win32 controls, the records in a rich edit) and the help (a rich edit control showing the help
# as rich text).
add_subdirectory(help)
add_dependencies(quorvane_resources quorvane_help_archive)

# The printer: rasters, text drawn with GDI, pictures, barcodes and the TSPL commands.
file(GLOB printer_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/printer/*.cpp ${PROJECT_SOURCE_DIR}/printer/*/*.cpp)
list(FILTER printer_sources EXCLUDE REGEX "_posix\\.cpp$")
add_library(quorvane_printer STATIC ${printer_sources})
target_include_directories(quorvane_printer PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_printer PUBLIC quorvane_errors quorvane_text quorvane_log Zint::Zint PkgConfig::PNG
  PkgConfig::JPEG Gif::Gif gdi32)
set_property(GLOBAL APPEND PROPERTY QUORVANE_PARTS quorvane_printer)

# The component, quorvane-x86.dll or quorvane-x64.dll: every part's objects go in directly, as on
# Linux, so start-up registrations are kept; only the three entry points are exported
# (addin/exports.def); its version resource (component/quorvane.rc) gives the version it reports.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUORVANE_WINDOWS_ARCH x64)
else()
  set(QUORVANE_WINDOWS_ARCH x86)
endif()
get_property(parts GLOBAL PROPERTY QUORVANE_PARTS)
enable_language(RC)
add_library(quorvane SHARED ${PROJECT_SOURCE_DIR}/addin/exports.def ${PROJECT_SOURCE_DIR}/component/quorvane.rc)
target_include_directories(quorvane PRIVATE ${PROJECT_BINARY_DIR}/generated)
foreach(part IN LISTS parts)
  target_sources(quorvane PRIVATE $<TARGET_OBJECTS:${part}>)
  target_link_libraries(quorvane PRIVATE ${part})
endforeach()
set_target_properties(quorvane PROPERTIES PREFIX "" OUTPUT_NAME quorvane-${QUORVANE_WINDOWS_ARCH}
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_link_options(quorvane PRIVATE -Wl,--no-undefined)

# The DLL the add-in package carries: without its debug information (25 MB against 4 MB), which
# stays in the build folder for the debugger.
set(QUORVANE_PACKAGED_DLL ${PROJECT_BINARY_DIR}/dist/quorvane-${QUORVANE_WINDOWS_ARCH}.dll)
add_custom_command(OUTPUT ${QUORVANE_PACKAGED_DLL}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/dist
  COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${QUORVANE_PACKAGED_DLL} $<TARGET_FILE:quorvane>
  DEPENDS quorvane
  VERBATIM)
add_custom_target(quorvane_packaged_dll ALL DEPENDS ${QUORVANE_PACKAGED_DLL})

# quorvane-host.exe: the host tool, loading the DLL as the platform does.
add_subdirectory(tools/host)

# The tests run under Wine in a prefix kept in the cache (made once, 5-30 s), shared by both targets.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/quorvane-cache OUTPUT_VARIABLE cache
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(QUORVANE_WINE_PREFIX ${cache}/wine CACHE PATH "Wine prefix of the Windows tests")
enable_testing()
add_subdirectory(tests/windows)

set(QUORVANE_WINDOWS_PENDING posix
  "the tools but the host" bench
  "the tests of the Linux build")
message(STATUS "Windows build: not built yet: ${QUORVANE_WINDOWS_PENDING}")
