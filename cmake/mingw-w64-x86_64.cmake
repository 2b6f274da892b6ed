# Cross-building the Windows x64 programs with mingw-w64 (the POSIX-threads
# flavour, which std::thread needs). Compilers are named by program name only,
# so any system that has them on its PATH can use this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVARIAN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVARIAN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVARIAN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVARIAN_MINGW_PREFIX}-windres)

# Libraries and headers come only from the target's own sysroot; programs that
# run during the build (none so far) from the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
