# Cross build of the same sources for 64-bit Windows, so the Windows tests can
# run under wine64 on machines that cannot execute 32-bit x86 code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VISTREL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(VISTREL_WINE_LOADER /usr/lib/wine/wine64)
