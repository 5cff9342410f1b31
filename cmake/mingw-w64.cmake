# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 in its posix thread model, which
# GoogleTest's std::mutex and std::thread need. Without Qt, executables are linked statically,
# so they run with no DLLs beside them. Against Qt's DLLs (and for building Qt itself) the C++
# runtime must be one shared copy, so PRAVELTEST_MINGW_SHARED=ON links it as DLLs too.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PRAVELTEST_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PRAVELTEST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PRAVELTEST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PRAVELTEST_MINGW_PREFIX}-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${PRAVELTEST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# try_compile projects see the choice too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PRAVELTEST_MINGW_SHARED)
if(NOT PRAVELTEST_MINGW_SHARED)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# Lets ctest run the cross-built tests when Wine is installed.
find_program(PRAVELTEST_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(PRAVELTEST_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PRAVELTEST_WINE})
endif()
