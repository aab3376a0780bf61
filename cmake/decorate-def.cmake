# cmake -DIN=<module .def> -DOUT=<decorated .def> -P decorate-def.cmake
# The module's .def exports "name = name@N"; an import library that C and
# C++ code compiled with the interface header links against needs the
# decorated symbol "name@N" (dlltool -k then imports it by the plain name).
file(STRINGS ${IN} lines)
set(out "")
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*([A-Za-z0-9_]+)[ \t]*=[ \t]*([A-Za-z0-9_]+@[0-9]+)[ \t]*$")
        string(APPEND out "    ${CMAKE_MATCH_2}\n")
    else()
        string(APPEND out "${line}\n")
    endif()
endforeach()
file(WRITE ${OUT} "${out}")
