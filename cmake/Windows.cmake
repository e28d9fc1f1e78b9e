# The Windows build (cmake/mingw-i686.cmake, cmake/mingw-x86_64.cmake; `make windows`). It grows
# folder by folder as each part gets its Windows twin; what it does not build yet is listed in
# QUORVANE_WINDOWS_PENDING and printed at configure time. The folders built so far are static
# libraries only: no DLL links until the log, printer and transport have their twins.
find_package(Threads REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/ThirdParty.cmake)

add_subdirectory(text)
add_subdirectory(errors)
add_subdirectory(log)
add_subdirectory(addin)
add_subdirectory(driver)
# The transport so far: the port manager with its network (Winsock) and serial (communications
# API) channels. The USB channel (usb_channel.cpp, printer_port.cpp and the device I/O under
# them) waits for its Windows twin: until then the manager's USB constructor is not in this
# library, so nothing that needs it links.
add_library(quorvane_transport STATIC transport/printer_socket.cpp transport/printer_socket_windows.cpp
  transport/socket_owner_windows.cpp transport/comm.cpp transport/comm_windows.cpp transport/channels.cpp
  transport/port_manager.cpp transport/system_reason.cpp)
target_include_directories(quorvane_transport PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_transport PUBLIC quorvane_errors quorvane_text ws2_32)

# The printer: rasters, pictures, barcodes and the TSPL commands. The text layout is built apart
# (quorvane_printer_text), and so is the printer type's member that draws text, until the two are
# joined.
set(printer_text_sources printer/graphic_text.cpp printer/text_layout.cpp printer/text_layout_glyphs.cpp
  printer/printer_type_text.cpp)
file(GLOB printer_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/printer/*.cpp ${PROJECT_SOURCE_DIR}/printer/*/*.cpp)
list(FILTER printer_sources EXCLUDE REGEX "_posix\\.cpp$")
foreach(source IN LISTS printer_text_sources)
  list(REMOVE_ITEM printer_sources ${PROJECT_SOURCE_DIR}/${source})
endforeach()
add_library(quorvane_printer STATIC ${printer_sources})
target_include_directories(quorvane_printer PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_printer PUBLIC quorvane_errors quorvane_text quorvane_log Zint::Zint PkgConfig::PNG
  PkgConfig::JPEG Gif::Gif)

# The tests run under Wine in a prefix kept in the cache (made once, 5-30 s), shared by both targets.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/quorvane-cache OUTPUT_VARIABLE cache
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(QUORVANE_WINE_PREFIX ${cache}/wine CACHE PATH "Wine prefix of the Windows tests")
enable_testing()
add_subdirectory(tests/windows)

set(QUORVANE_WINDOWS_PENDING posix resources "the printer's text layout (graphic_text, text_layout*, printer_type_text)" "the USB printer channel and the USB printer list (SetupAPI, overlapped I/O)" help component tools bench
  "the tests of the Linux build")
message(STATUS "Windows build: not built yet: ${QUORVANE_WINDOWS_PENDING}")
