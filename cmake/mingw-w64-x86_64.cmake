# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VD_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VD_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VD_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VD_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime (libgcc, libstdc++, winpthread): the executables run on a bare
# Windows, or under wine, without DLLs copied next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Unicode Win32 API, Windows 7 and later.
set(CMAKE_CXX_FLAGS_INIT "-DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601")

find_program(VD_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VD_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VD_WINE64})
endif()
