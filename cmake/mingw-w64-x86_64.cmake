# Cross build of a native 64-bit Windows egib2shp.exe with Debian's MinGW-w64:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DEGIB_SHAPELIB_PREFIX=<static shapelib for MinGW>
# The posix-thread compilers carry std::thread; -static leaves an .exe that
# needs nothing but the system's own KERNEL32 and msvcrt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(EGIB_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${EGIB_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EGIB_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${EGIB_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${EGIB_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Wine runs the cross-built programs (try_run, tests).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
