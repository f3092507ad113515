# 32-bit Windows with MinGW-w64: the program as shipped.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(qv_mingw i686-w64-mingw32)
set(qv_wine_arch win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# A 32-bit program may use up to 4 GiB of address space on 64-bit Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--large-address-aware")
