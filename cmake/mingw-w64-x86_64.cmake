# Cross-builds the Windows programs on Debian with MinGW-w64 (posix thread model):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Every executable is linked statically, so it needs no DLL beyond the system's own
# (KERNEL32 and msvcrt). Tests run under Wine through the wrapper that the build writes
# into its own directory (see windows_tests.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PEEK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PEEK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PEEK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PEEK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PEEK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest and gtest_discover_tests start every Windows program through this script.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")
