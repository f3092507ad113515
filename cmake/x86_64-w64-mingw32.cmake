# 64-bit Windows with MinGW-w64, for machines that cannot execute 32-bit programs: the same code as
# the 32-bit program, run under 64-bit Wine. SSE2 is the x86-64 baseline, so no extra flags.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(qv_mingw x86_64-w64-mingw32)
set(qv_wine_arch win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
