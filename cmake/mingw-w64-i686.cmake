# 32-bit Windows: compiled here, not run (Wine on this machine runs 64-bit programs only).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVANTA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
