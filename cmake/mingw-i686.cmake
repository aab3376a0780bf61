# Cross-compiling for 32-bit Windows: clang and lld, targeting MinGW-w64
# i686, against the runtime of Debian's g++-mingw-w64-i686 (GCC 12, win32
# thread model: nothing here needs libwinpthread).  clang writes CodeView
# debug information and lld a PDB beside each image, which Windows debuggers
# read; the release DLL carries no DWARF.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KORVA_MINGW_PREFIX i686-w64-mingw32)
# clang 16 and lld 16 rather than Debian's default clang 14: the tokenizer,
# timed in the DLL under Wine (korva_wine_bench), spends clearly less time in
# clang 16's code on every line the benchmarks time.  The linker is named
# with its version because clang-16 given plain "lld" runs /usr/bin/ld.lld,
# which is lld 14.  The LLVM tools that rewrite, make or read what lld
# writes (cmake/windows.cmake, cmake/release.cmake) are of the same release.
set(CMAKE_C_COMPILER   clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_C_COMPILER_TARGET   ${KORVA_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${KORVA_MINGW_PREFIX})
set(CMAKE_RC_COMPILER  ${KORVA_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL      ${KORVA_MINGW_PREFIX}-dlltool)
set(CMAKE_OBJDUMP      ${KORVA_MINGW_PREFIX}-objdump)

# clang does not find GCC's C++ headers and support libraries for this
# target by itself: take them from the MinGW-w64 GCC that ships them.
execute_process(COMMAND ${KORVA_MINGW_PREFIX}-g++-win32 -print-libgcc-file-name
                OUTPUT_VARIABLE KORVA_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(KORVA_GCC_DIR ${KORVA_LIBGCC} DIRECTORY)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${KORVA_GCC_DIR}/include/c++ ${KORVA_GCC_DIR}/include/c++/${KORVA_MINGW_PREFIX})
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld-16 -L${KORVA_GCC_DIR}")
endforeach()

# MinGW-w64's headers and import libraries are the only system ones.  Without
# a sysroot clang's MinGW driver searches the host's /usr/include and
# /usr/lib after them, so a host header the MinGW headers lack (Debian's
# i386 glibc <sys/single_threaded.h>, which libstdc++ looks for) would be
# built into the DLL.
set(CMAKE_SYSROOT /usr/${KORVA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH /usr/${KORVA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine (tests, the sample caller).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
