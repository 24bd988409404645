# Cross-compiles the Windows programs for 32-bit Windows (the IDE is a 32-bit
# program) with Debian's MinGW-w64, posix thread model, statically linked.
# Programs built for the host (tests) run under Wine through the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VIREO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
