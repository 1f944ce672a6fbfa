# Cross-compiles the Qt-free core for Windows with Debian's mingw-w64. Included by the
# toolchain file of each architecture, which names ORVANTA_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives GoogleTest the threading it expects.
set(CMAKE_C_COMPILER ${ORVANTA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANTA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANTA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANTA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The MinGW runtime (libstdc++, libgcc, winpthread) is linked as DLLs, as Qt's own DLLs link
# it: one copy of the runtime per process. The Wine runner and the package provide the DLLs.
