# What both Windows toolchains share. qv_mingw names the target (i686-w64-mingw32 or
# x86_64-w64-mingw32), qv_wine_arch the Wine that runs its programs (win32 or win64). The -posix
# compilers give std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${qv_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${qv_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${qv_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${qv_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs the Windows test programs under Wine of the same width, in a prefix of its own.
set(CMAKE_CROSSCOMPILING_EMULATOR env QV_WINEARCH=${qv_wine_arch} ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
