# What the export generators make of a good definition file, and that a bad
# one fails naming its line.  cmake -DSRC=<source dir>/src -DWORK=<scratch> -P ...
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(generate def_text out_var rc_var err_var)
  file(WRITE "${WORK}/in.def" "${def_text}")
  file(REMOVE "${WORK}/out.cpp")
  execute_process(COMMAND ${CMAKE_COMMAND} -DDEF=${WORK}/in.def -DOUT=${WORK}/out.cpp
                          -P ${SRC}/exports_table.cmake
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  set(out "")
  if(EXISTS "${WORK}/out.cpp")
    file(READ "${WORK}/out.cpp" out)
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${rc_var} "${rc}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

# Comments (also after an entry), blank lines, tabs, spaces around '@', a
# leading zero, and both ends of the ordinal range.
generate("; exports\nLIBRARY TEST\nEXPORTS\n\tFirst @1 ; the first\n  Second_2   @ 0300\n\n  Last @65535\r\n" out rc err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a good file was refused: ${err}")
endif()
string(FIND "${out}" "    {1, \"First\", PAL_PROC(First)},\n    {300, \"Second_2\", PAL_PROC(Second_2)},\n    {65535, \"Last\", PAL_PROC(Last)},\n};" at)
if(at LESS 0)
  message(FATAL_ERROR "unexpected table:\n${out}")
endif()

# The version script takes the same names, sorted, with the headers' own.
file(WRITE "${WORK}/api.h" "int WINAPI HeaderEntry(int);\nint PASCAL *HeaderPtr (void);\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DDEF=${WORK}/in.def -DHEADERS=${WORK}/api.h
                        -DOUT=${WORK}/out.map -P ${SRC}/exports.cmake RESULT_VARIABLE rc)
file(READ "${WORK}/out.map" map)
set(want "{\n  global:\n    First;\n    HeaderEntry;\n    HeaderPtr;\n    Last;\n    Second_2;\n  local:\n    *;\n};\n")
if(NOT rc EQUAL 0 OR NOT map STREQUAL want)
  message(FATAL_ERROR "unexpected version script (${rc}):\n${map}")
endif()

# Each malformed file fails, names its line and leaves no table behind.
set(cases
  "EXPORTS\n  A @1\n  B @1\n|in.def:3: ordinal 1 of B is taken"
  "EXPORTS\n  A @1\n  A @2\n|in.def:3: A is exported twice"
  "EXPORTS\n  A @0\n|in.def:2: ordinal of A is not in 1..65535"
  "EXPORTS\n  A @65536\n|in.def:2: ordinal of A is not in 1..65535"
  "EXPORTS\n  A @1 NONAME\n|in.def:2: \"A @1 NONAME\" is not NAME @ORDINAL"
  "LIBRARY X\n  A @1\n|in.def:2: \"A @1\" is outside EXPORTS"
  "LIBRARY X\nEXPORTS\n\n|in.def: exports nothing")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 text)
  list(GET parts 1 expected)
  generate("${text}" out rc err)
  # CMake wraps its messages to the terminal's width.
  string(REGEX REPLACE "[ \t\n]+" " " err "${err}")
  string(FIND "${err}" "${expected}" at)
  if(rc EQUAL 0 OR at LESS 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "\"${text}\": wanted \"${expected}\", got ${rc}:\n${err}")
  endif()
endforeach()
message(STATUS "export generators checked")
