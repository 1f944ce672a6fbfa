# Cross-compiles the Qt-free core for Windows with Debian's mingw-w64 (x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVANTA_MINGW_TRIPLE x86_64-w64-mingw32)

# The posix thread model gives GoogleTest the threading it expects.
set(CMAKE_C_COMPILER ${ORVANTA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANTA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANTA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANTA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: Wine then needs no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test executables run under Debian's wine64 with a prefix of their own in the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
