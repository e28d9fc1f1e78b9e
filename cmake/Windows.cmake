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
# The transport so far: the port manager with its network (Winsock) and serial (communications
# API) channels, and the USB printer list (SetupAPI). The USB channel (overlapped I/O on the
# printer class device) waits for its Windows twin: until then a USB port fails at once with a
# message saying so (usb_channel_windows.cpp).
add_library(quorvane_transport STATIC transport/printer_socket.cpp transport/printer_socket_windows.cpp
  transport/socket_owner_windows.cpp transport/comm.cpp transport/comm_windows.cpp transport/channels.cpp
  transport/port_manager.cpp transport/system_reason.cpp transport/usb_channel_windows.cpp
  transport/usb_print_list.cpp transport/usb_print_list_windows.cpp)
target_include_directories(quorvane_transport PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_transport PUBLIC quorvane_errors quorvane_text ws2_32 setupapi cfgmgr32)
set_property(GLOBAL APPEND PROPERTY QUORVANE_PARTS quorvane_transport)

# The embedded files: the settings' schema. The help archive and the viewer program join with
# the Windows windows.
add_library(quorvane_resources STATIC resources/embedded_resource.cpp)
target_include_directories(quorvane_resources PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_resources PUBLIC quorvane_text)
set_property(GLOBAL APPEND PROPERTY QUORVANE_PARTS quorvane_resources)
quorvane_resources(quorvane_resources PARAMETERS ${PROJECT_SOURCE_DIR}/resources/parameters.xml)

# The additional actions' windows, modal windows of the host's thread: the log viewer (plain
# Win32 controls, the records in a rich edit); the help window fails with a message saying so
# until it is built.
add_library(quorvane_help STATIC help/viewer_actions_windows.cpp help/log_window_windows.cpp)
target_include_directories(quorvane_help PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_help PUBLIC quorvane_errors quorvane_log comctl32 shell32 gdi32 user32)
set_property(GLOBAL APPEND PROPERTY QUORVANE_PARTS quorvane_help)

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

# quorvane-host.exe: the host tool, loading the DLL as the platform does.
add_subdirectory(tools/host)

# The tests run under Wine in a prefix kept in the cache (made once, 5-30 s), shared by both targets.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/quorvane-cache OUTPUT_VARIABLE cache
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(QUORVANE_WINE_PREFIX ${cache}/wine CACHE PATH "Wine prefix of the Windows tests")
enable_testing()
add_subdirectory(tests/windows)

set(QUORVANE_WINDOWS_PENDING posix "the USB printer channel (overlapped I/O)" "the help window"
  "the tools but the host" bench
  "the tests of the Linux build")
message(STATUS "Windows build: not built yet: ${QUORVANE_WINDOWS_PENDING}")
