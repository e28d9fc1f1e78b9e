# The Windows build (cmake/mingw-i686.cmake, cmake/mingw-x86_64.cmake). It grows folder by folder
# as each part gets its Windows twin.
find_package(Threads REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/ThirdParty.cmake)
