# What a caller of KORVA_VB6.dll receives: the type library for Visual
# Basic 6, import libraries for MinGW and MSVC-style linkers, and one zip
# with all of it.
find_program(KORVA_WIDL NAMES ${KORVA_MINGW_PREFIX}-widl widl REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(KORVA_LLVM_DLLTOOL NAMES llvm-dlltool-16 llvm-dlltool REQUIRED)

set(KORVA_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
set(KORVA_TLB ${CMAKE_BINARY_DIR}/bin/KORVA_VB6.tlb)
set(KORVA_DECORATED_DEF ${KORVA_RELEASE_DIR}/KORVA_VB6.decorated.def)
set(KORVA_IMPLIB_MINGW ${KORVA_RELEASE_DIR}/libKORVA_VB6.a)
set(KORVA_IMPLIB_MSVC ${KORVA_RELEASE_DIR}/KORVA_VB6.lib)
set(KORVA_PDB ${CMAKE_BINARY_DIR}/bin/KORVA_VB6.pdb)
set(KORVA_ZIP ${CMAKE_BINARY_DIR}/KORVA_VB6-${PROJECT_VERSION}.zip)
file(MAKE_DIRECTORY ${KORVA_RELEASE_DIR})

# The IDL takes the library's version (major.minor) from the project version.
# widl writes the module's entry("...") names wrongly; the fix-up binds each
# function to the entry of its own name (see the script).  widl also stamps
# the library with a time: the release's (WIDL_TIME_OVERRIDE), not its own.
configure_file(${CMAKE_SOURCE_DIR}/vb6/KORVA_VB6.idl.in ${KORVA_RELEASE_DIR}/KORVA_VB6.idl @ONLY)
add_custom_command(
    OUTPUT ${KORVA_TLB}
    COMMAND sh -c "TZ=UTC WIDL_TIME_OVERRIDE=$(cat \"$0\") exec \"$@\"" ${KORVA_RELEASE_TIME}
            ${KORVA_WIDL} -t -o KORVA_VB6.widl.tlb KORVA_VB6.idl
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/fix-tlb-entries.py
            ${KORVA_RELEASE_DIR}/KORVA_VB6.widl.tlb ${KORVA_TLB}
    WORKING_DIRECTORY ${KORVA_RELEASE_DIR}
    DEPENDS ${KORVA_RELEASE_DIR}/KORVA_VB6.idl ${CMAKE_SOURCE_DIR}/cmake/fix-tlb-entries.py
            ${KORVA_RELEASE_TIME}
    VERBATIM
    COMMENT "Type library KORVA_VB6.tlb")

add_custom_command(
    OUTPUT ${KORVA_DECORATED_DEF}
    COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/frame/KORVA_VB6.def -DOUT=${KORVA_DECORATED_DEF}
            -P ${CMAKE_SOURCE_DIR}/cmake/decorate-def.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/frame/KORVA_VB6.def ${CMAKE_SOURCE_DIR}/cmake/decorate-def.cmake)

# Both import libraries are made in the release folder from names relative to
# it, so that no build path lands in their member names.  GNU dlltool's long
# import format is what MinGW's ld has always taken; MSVC-style linkers
# (link.exe, lld-link) apply /SAFESEH to x86 images and refuse its members,
# so KORVA_VB6.lib is llvm-dlltool's short import format.
add_custom_command(
    OUTPUT ${KORVA_IMPLIB_MINGW}
    COMMAND ${CMAKE_DLLTOOL} -d KORVA_VB6.decorated.def -k -l libKORVA_VB6.a
    WORKING_DIRECTORY ${KORVA_RELEASE_DIR}
    DEPENDS ${KORVA_DECORATED_DEF}
    COMMENT "Import library for MinGW")
add_custom_command(
    OUTPUT ${KORVA_IMPLIB_MSVC}
    COMMAND ${KORVA_LLVM_DLLTOOL} -m i386 -k -d KORVA_VB6.decorated.def -l KORVA_VB6.lib
    WORKING_DIRECTORY ${KORVA_RELEASE_DIR}
    DEPENDS ${KORVA_DECORATED_DEF}
    COMMENT "Import library for MSVC-style linkers")

# README.txt is made at every build, with the commit (cmake/windows.cmake)

# The zip: one folder, the layout the package README describes, the same
# bytes from every build of one commit, with SHA256SUMS.txt listing every
# file in it (cmake/release-zip.py).
set(stage ${KORVA_RELEASE_DIR}/KORVA_VB6-${PROJECT_VERSION})
# the pages a caller needs, which link only to each other
set(KORVA_CALLER_DOCS ${CMAKE_SOURCE_DIR}/docs/reference.md ${CMAKE_SOURCE_DIR}/docs/visual-basic.md
    ${CMAKE_SOURCE_DIR}/docs/support.md)
add_custom_command(
    OUTPUT ${KORVA_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/bin ${stage}/include ${stage}/lib ${stage}/symbols ${stage}/vb6
            ${stage}/examples ${stage}/tools ${stage}/doc
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:KORVA_VB6> ${stage}/bin/
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:korva_probe> ${stage}/tools/
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/examples/split.c ${stage}/examples/
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/examples/vb6 ${stage}/examples/vb6
    COMMAND ${CMAKE_COMMAND} -E copy ${KORVA_CALLER_DOCS} ${stage}/doc/
    COMMAND ${CMAKE_COMMAND} -E copy ${KORVA_PDB} ${CMAKE_BINARY_DIR}/bin/korva_probe.pdb ${stage}/symbols/
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/include/korva_vb6.h ${stage}/include/
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/frame/KORVA_VB6.def ${stage}/lib/
    COMMAND ${CMAKE_COMMAND} -E copy ${KORVA_IMPLIB_MINGW} ${KORVA_IMPLIB_MSVC} ${stage}/lib/
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/vb6/KORVA_VB6.bas ${KORVA_TLB} ${stage}/vb6/
    COMMAND ${CMAKE_COMMAND} -E copy ${KORVA_PACKAGE_README}
            ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt ${stage}/
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/CHANGES.md ${stage}/CHANGES.txt
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/release-zip.py ${stage} ${KORVA_ZIP}
            ${KORVA_RELEASE_TIME}
    DEPENDS KORVA_VB6 korva_probe ${CMAKE_SOURCE_DIR}/examples/split.c
            ${CMAKE_SOURCE_DIR}/examples/vb6/KorvaSample.vbp ${CMAKE_SOURCE_DIR}/examples/vb6/Sample.bas
            ${KORVA_CALLER_DOCS}
            ${KORVA_TLB} ${KORVA_IMPLIB_MINGW} ${KORVA_IMPLIB_MSVC}
            ${KORVA_PACKAGE_README} ${KORVA_RELEASE_TIME} ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
            ${CMAKE_SOURCE_DIR}/CHANGES.md
            ${CMAKE_SOURCE_DIR}/cmake/release-zip.py
            ${CMAKE_SOURCE_DIR}/include/korva_vb6.h ${CMAKE_SOURCE_DIR}/frame/KORVA_VB6.def
            ${CMAKE_SOURCE_DIR}/vb6/KORVA_VB6.bas
    COMMENT "Release package KORVA_VB6-${PROJECT_VERSION}.zip")

add_custom_target(korva_release ALL DEPENDS ${KORVA_ZIP} ${KORVA_TLB})

# The shipped image as binary checkers and debuggers see it (no Wine needed).
find_program(KORVA_LLVM_OBJDUMP NAMES llvm-objdump-16 llvm-objdump REQUIRED)
find_program(KORVA_LLVM_PDBUTIL NAMES llvm-pdbutil-16 llvm-pdbutil REQUIRED)
add_test(NAME release_image
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/release/check-image.py
                 $<TARGET_FILE:KORVA_VB6> ${KORVA_PDB} ${CMAKE_SOURCE_DIR}/frame/KORVA_VB6.def
                 ${KORVA_LLVM_OBJDUMP} ${KORVA_LLVM_PDBUTIL})

# The release against the export promise of tests/release/abi-baseline.txt:
# names, conventions and bytes in the test table, the .def and the DLL (no
# Wine needed); and the same check on scratch copies with faults seeded in,
# so that it is known to fail where it should.
add_test(NAME release_drop_in
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/release/check-drop-in.py
                 --dll $<TARGET_FILE:KORVA_VB6> --objdump ${KORVA_LLVM_OBJDUMP})
add_test(NAME release_drop_in_seeded
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/release/check-drop-in.py --seeded
                 --dll $<TARGET_FILE:KORVA_VB6> --objdump ${KORVA_LLVM_OBJDUMP})
