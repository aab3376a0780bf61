# The 32-bit Windows build: KORVA_VB6.dll, the stand-in host libraries, the
# sample caller and the tests, which run under Wine.
include(CTest)

# Everything that runs lands in one folder, so the loader finds the DLLs
# beside the programs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# No libgcc/libstdc++ DLLs: a Visual Basic 6 machine does not have them.
set(KORVA_STATIC_RUNTIME -static-libgcc -static-libstdc++)

# --- import libraries for the host operations this module calls ------------
# Made from host/*.def, so the module links against the host's interface and
# not against whichever build of the host libraries happens to be around.
set(KORVA_HOST_IMPLIBS)
foreach(lib KORVA libq47)
    set(implib ${CMAKE_BINARY_DIR}/hostlib/lib${lib}.a)
    add_custom_command(
        OUTPUT ${implib}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/hostlib
        COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_SOURCE_DIR}/host/${lib}.def -l ${implib}
        DEPENDS ${CMAKE_SOURCE_DIR}/host/${lib}.def
        COMMENT "Import library for ${lib}.dll")
    list(APPEND KORVA_HOST_IMPLIBS ${implib})
endforeach()
add_custom_target(korva_host_implibs DEPENDS ${KORVA_HOST_IMPLIBS})

# --- the module -------------------------------------------------------------
enable_language(RC)
configure_file(frame/version.rc.in ${CMAKE_BINARY_DIR}/generated/version.rc @ONLY)

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
    tokenizer/parsebuf_wrapper.cpp
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
target_link_options(KORVA_VB6 PRIVATE ${KORVA_STATIC_RUNTIME})
add_dependencies(KORVA_VB6 korva_host_implibs)
target_link_libraries(KORVA_VB6 PRIVATE ${KORVA_HOST_IMPLIBS})
target_link_libraries(KORVA_VB6 PRIVATE advapi32)
target_link_libraries(KORVA_VB6 PRIVATE oleaut32)

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
