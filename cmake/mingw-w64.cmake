# Cross-builds the Windows programs (pixbrk.exe and the command-line tools as .exe) with
# Debian's MinGW-w64. The "-posix" compilers use the winpthreads thread model, which is the one
# that gives std::thread and std::mutex, and a std::chrono::steady_clock on the performance
# counter (the host's frame clock); the default "-win32" ones lack them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PIXBRK_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${PIXBRK_MINGW_TRIPLET}-gcc-posix ${PIXBRK_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PIXBRK_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PIXBRK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PIXBRK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
