# 64-bit Windows: compiled here and tested under Debian's wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVANTA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Test executables run under wine64 with a prefix of their own in the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
