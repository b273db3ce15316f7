# Cross build for 32-bit Windows with the mingw-w64 i686 toolchain from Debian, each
# tool at the path its package installs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_CXX_COMPILER /usr/bin/i686-w64-mingw32-g++-posix)
set(CMAKE_C_COMPILER /usr/bin/i686-w64-mingw32-gcc-posix)
set(CMAKE_RC_COMPILER /usr/bin/i686-w64-mingw32-windres)
set(ZOPPEL_OBJDUMP /usr/bin/i686-w64-mingw32-objdump)
set(ZOPPEL_STRIP /usr/bin/i686-w64-mingw32-strip)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
