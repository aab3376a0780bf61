# Native build of the portable parts, with AddressSanitizer and
# UndefinedBehaviorSanitizer, and their tests.
include(CTest)

set(KORVA_SANITIZE "-fsanitize=address,undefined;-fno-sanitize-recover=all;-fno-omit-frame-pointer"
    CACHE STRING "sanitizer flags for the native build")

add_library(korva_portable STATIC ${KORVA_PORTABLE_SOURCES})
target_include_directories(korva_portable PUBLIC include)
target_compile_options(korva_portable PRIVATE ${KORVA_WARNINGS} ${KORVA_SANITIZE})
target_link_options(korva_portable PUBLIC ${KORVA_SANITIZE})

# the plain-way scanner the tokenizer's tests, fuzzer and benchmarks use
add_subdirectory(tests/oracle)

add_subdirectory(tests/native)

# the benchmarks (run by scripts/bench.sh)
add_subdirectory(bench)

# The fuzzers need clang's libFuzzer: the fuzz preset.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_subdirectory(fuzz)
endif()

# The documentation's links and the repository paths it names, in README.md
# and docs/ (tests/docs/check-links.py says what counts as a path).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME docs_links
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/docs/check-links.py ${CMAKE_SOURCE_DIR})
