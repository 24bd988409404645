# Cross-compiles the Windows programs for 64-bit Windows with Debian's
# MinGW-w64; the add-in itself is meant for the 32-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VIREO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
