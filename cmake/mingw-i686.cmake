# Cross-compiling for 32-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-i686).
# The win32 thread model: nothing here needs libwinpthread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KORVA_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${KORVA_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${KORVA_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  ${KORVA_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL      ${KORVA_MINGW_PREFIX}-dlltool)
set(CMAKE_OBJDUMP      ${KORVA_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine (tests, the sample caller).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
