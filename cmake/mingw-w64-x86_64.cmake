# Cross-builds for 64-bit Windows with mingw-w64. The posix thread model: the win32 one has no
# std::mutex or std::thread, which the engine's windows and workers use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVREL_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TAVREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVREL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Runs without DLLs beside it: the C and C++ runtimes and winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
