# Shared by the MinGW-w64 toolchain files; VIREO_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${VIREO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VIREO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VIREO_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VIREO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static programs: no MinGW runtime DLL beside them, only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine, through the wrapper that bounds each run in time.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
