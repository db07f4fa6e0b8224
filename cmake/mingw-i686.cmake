# 32-bit Windows, the form the word processor loads.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QNMURO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
