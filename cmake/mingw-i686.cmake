# Cross build for 32-bit Windows. The -posix compilers carry the std::mutex
# that GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VISTREL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# NOTE: the 32-bit Wine loader; it needs a machine that can execute i386 code.
set(VISTREL_WINE_LOADER /usr/lib/wine/wine)
