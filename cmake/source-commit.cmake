# cmake -DSOURCE=<dir> -DHEADER=<file> -DVERSION=<x.y.z> -DREADME_IN=<file> -DREADME=<file>
#       -DTIME=<file> -P source-commit.cmake
# Names the commit a build is made from, for the version resource (HEADER,
# KORVA_SOURCE_COMMIT) and the package README (README from README_IN, with
# @PROJECT_VERSION@ and @KORVA_SOURCE_COMMIT@): the full hash, with
# "-modified" when tracked files differ from it, or "unknown" outside a git
# checkout.  TIME gets the release's time, in seconds since 1970, the one
# time every stamp of the release shows (the type library's, the zip's
# entries'): SOURCE_DATE_EPOCH when set, else the commit's time, else
# 1980-01-01.  Run at every build; a file is written only when its text
# changes, so that an unchanged commit rebuilds nothing.
execute_process(COMMAND git -C ${SOURCE} rev-parse --verify HEAD
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0 OR NOT commit MATCHES "^[0-9a-f]+$")
    set(commit unknown)
else()
    execute_process(COMMAND git -C ${SOURCE} status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(changes)
        string(APPEND commit "-modified")
    endif()
endif()

set(epoch $ENV{SOURCE_DATE_EPOCH})
if(NOT epoch)
    execute_process(COMMAND git -C ${SOURCE} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800)
    set(epoch 315532800)
endif()

file(CONFIGURE OUTPUT ${HEADER} CONTENT "#define KORVA_SOURCE_COMMIT \"${commit}\"\n")
file(CONFIGURE OUTPUT ${TIME} CONTENT "${epoch}\n")
set(PROJECT_VERSION ${VERSION})
set(KORVA_SOURCE_COMMIT ${commit})
configure_file(${README_IN} ${README} @ONLY)
