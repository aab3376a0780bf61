# The 32-bit Windows build: KORVA_VB6.dll, the stand-in host libraries, the
# sample caller and the tests, which run under Wine.
include(CTest)

# Everything that runs lands in one folder, so the loader finds the DLLs
# beside the programs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# No libgcc/libstdc++ DLLs: a Visual Basic 6 machine does not have them.
set(KORVA_STATIC_RUNTIME -static-libgcc -static-libstdc++)

# Debug information as CodeView, which Windows debuggers read (DWARF they
# cannot); only the module itself is linked with a PDB.
add_compile_options(-gcodeview)

# --- import libraries for the host operations this module calls ------------
# Made from host/*.def, so the module links against the host's interface and
# not against whichever build of the host libraries happens to be around;
# made in their own folder by relative name, since dlltool names the
# members after the output path and those names reach the module's PDB.
set(KORVA_HOST_IMPLIBS)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/hostlib)
foreach(lib KORVA libq47)
    set(implib ${CMAKE_BINARY_DIR}/hostlib/lib${lib}.a)
    add_custom_command(
        OUTPUT ${implib}
        COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_SOURCE_DIR}/host/${lib}.def -l lib${lib}.a
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/hostlib
        DEPENDS ${CMAKE_SOURCE_DIR}/host/${lib}.def
        COMMENT "Import library for ${lib}.dll")
    list(APPEND KORVA_HOST_IMPLIBS ${implib})
endforeach()
add_custom_target(korva_host_implibs DEPENDS ${KORVA_HOST_IMPLIBS})

# --- the module -------------------------------------------------------------
find_package(Python3 REQUIRED COMPONENTS Interpreter)
enable_language(RC)
configure_file(frame/version.rc.in ${CMAKE_BINARY_DIR}/generated/version.rc @ONLY)
# the commit the build is made from: in the version resource and the package
# README, brought up to date at every build (cmake/source-commit.cmake)
set(KORVA_SOURCE_COMMIT_H ${CMAKE_BINARY_DIR}/generated/source_commit.h)
set(KORVA_PACKAGE_README ${CMAKE_BINARY_DIR}/release/README.txt)
set(KORVA_RELEASE_TIME ${CMAKE_BINARY_DIR}/release/release-time)
add_custom_target(korva_source_commit
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DHEADER=${KORVA_SOURCE_COMMIT_H}
            -DVERSION=${PROJECT_VERSION} -DREADME_IN=${CMAKE_SOURCE_DIR}/vb6/PACKAGE-README.txt
            -DREADME=${KORVA_PACKAGE_README} -DTIME=${KORVA_RELEASE_TIME}
            -P ${CMAKE_SOURCE_DIR}/cmake/source-commit.cmake
    BYPRODUCTS ${KORVA_SOURCE_COMMIT_H} ${KORVA_PACKAGE_README} ${KORVA_RELEASE_TIME}
    COMMENT "The commit this build is made from")
set_source_files_properties(${CMAKE_BINARY_DIR}/generated/version.rc PROPERTIES
    OBJECT_DEPENDS ${KORVA_SOURCE_COMMIT_H})

set(KORVA_FRAME_SOURCES
    ${CMAKE_BINARY_DIR}/generated/version.rc
    frame/dllmain.cpp
    frame/last_error.cpp
    frame/KORVA_VB6.def
)
set(KORVA_HOST_BRIDGE_SOURCES
    host/debug_log.cpp
    host/getenv_vb.cpp
    host/log.cpp
    host/parsebuf_wrapper.cpp
)
set(KORVA_PLATFORM_SOURCES
    platform/administrators.cpp
    platform/wow64.cpp
    platform/vn35.cpp
    platform/view_flags.cpp
)
add_library(KORVA_VB6 SHARED
    ${KORVA_PORTABLE_SOURCES}
    ${KORVA_FRAME_SOURCES}
    ${KORVA_HOST_BRIDGE_SOURCES}
    ${KORVA_PLATFORM_SOURCES}
)
set_target_properties(KORVA_VB6 PROPERTIES PREFIX "" OUTPUT_NAME KORVA_VB6)
target_include_directories(KORVA_VB6 PUBLIC include)
target_compile_options(KORVA_VB6 PRIVATE ${KORVA_WARNINGS} -fno-exceptions)
# korva_parsebuf_on (tokenizer/scan.h) is for the native tests and fuzzers only
target_compile_definitions(KORVA_VB6 PRIVATE KORVA_DLL)
# A shipped image, the DLL or the probe tool, korva_shipped_image(<target>
# <subsystem>):
# - its symbols in <target>.pdb beside it, named in its CodeView record
#   without a folder, so a debugger finds them by symbol path;
# - byte for byte the same from any clone in any folder: the time stamp and
#   the PDB's GUID come from a hash of the content (-Brepro), and the
#   launcher keeps the build folder off every command line that clang or lld
#   records;
# - for Windows 2000 (5.0) and later, of the given subsystem;
# - no DWARF (the MinGW-w64 runtime's objects bring some along: stripped
#   after the link; the sections go from the image's end, so every address
#   the PDB records stays as it was).
find_program(KORVA_LLVM_OBJCOPY NAMES llvm-objcopy-16 llvm-objcopy REQUIRED)
set(korva_paths ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/relative-paths.py
    ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
function(korva_shipped_image target subsystem)
    target_compile_options(${target} PRIVATE -ffile-compilation-dir=.)
    target_link_options(${target} PRIVATE
        -Wl,--pdb=bin/${target}.pdb
        -Wl,-Xlink=-pdbaltpath:${target}.pdb
        -Wl,-Xlink=-pdbsourcepath:.
        -Wl,-Xlink=-Brepro
        -Wl,--no-insert-timestamp
        -Wl,--subsystem,${subsystem}:5.0
        -Wl,--major-os-version,5 -Wl,--minor-os-version,0)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${KORVA_LLVM_OBJCOPY} --strip-debug $<TARGET_FILE:${target}>
        VERBATIM)
    set_target_properties(${target} PROPERTIES
        C_COMPILER_LAUNCHER "${korva_paths}" CXX_COMPILER_LAUNCHER "${korva_paths}"
        C_LINKER_LAUNCHER "${korva_paths}" CXX_LINKER_LAUNCHER "${korva_paths}")
endfunction()

# The DLL is a shipped image, a GUI-subsystem DLL, relocatable,
# DEP-compatible, and marked as registering no SEH handlers (the code is
# built without exceptions and nothing in it installs a handler on fs:0; the
# header test checks the image for it), with a valid checksum, so that
# removing a signature gives back these bytes.  The checksum is written by
# Debian's python3-pefile (so with Debian's python3) after the strip;
# scripts/pe-image.py, which computes it on its own, checks it
# (tests/release/check-image.py).
korva_shipped_image(KORVA_VB6 windows)
target_link_options(KORVA_VB6 PRIVATE ${KORVA_STATIC_RUNTIME}
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-seh)
find_program(KORVA_DEBIAN_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
add_custom_command(TARGET KORVA_VB6 POST_BUILD
    COMMAND ${KORVA_DEBIAN_PYTHON3} -c
            "import sys, pefile; pe = pefile.PE(sys.argv[1]); pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum(); data = pe.write(); pe.close(); open(sys.argv[1], 'wb').write(data)"
            $<TARGET_FILE:KORVA_VB6>
    VERBATIM)
add_dependencies(KORVA_VB6 korva_host_implibs korva_source_commit)
target_link_libraries(KORVA_VB6 PRIVATE ${KORVA_HOST_IMPLIBS})
target_link_libraries(KORVA_VB6 PRIVATE advapi32)
target_link_libraries(KORVA_VB6 PRIVATE oleaut32)

# The portable code once more, as a library of its own with what the DLL
# leaves out (korva_parsebuf_on, the kernel counts), for the tests that drive
# the tokenizer's i686 kernels directly.
add_library(korva_portable_i686 STATIC ${KORVA_PORTABLE_SOURCES})
target_include_directories(korva_portable_i686 PUBLIC include)
target_compile_options(korva_portable_i686 PRIVATE ${KORVA_WARNINGS} -fno-exceptions)

# --- stand-ins for the product's host libraries (test and demo equipment) ---
add_subdirectory(testhost)

# --- the sample caller --------------------------------------------------------
add_subdirectory(examples)

# --- the DLL's exports timed under Wine (scripts/bench.sh) -------------------
add_subdirectory(bench/wine)

# --- the platform probe diagnostic ---------------------------------------------
add_subdirectory(tools)

# --- what callers receive: type library, import libraries, the release zip ---
include(cmake/release.cmake)

# --- tests under Wine ---------------------------------------------------------
add_subdirectory(tests/wine)
