# Writes the linker's module definition of callmgr.dll: callmgr.def's names
# and ordinals, each name with the stdcall decoration (NAME@BYTES) that the
# compiler gave its definition in the archive, or bare for a cdecl one.
# PREFIX is what the target puts before every C name: an underscore on
# 32-bit Windows, nothing on 64-bit Windows (which has no stdcall either).
#   cmake -DDEF=callmgr.def -DNM=nm -DARCHIVE=libcallmgr_core.a -DPREFIX=_ -DOUT=callmgr_dll.def -P dlldef.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/deffile.cmake")
callmgr_read_def("${DEF}" names ordinals)
execute_process(COMMAND "${NM}" --defined-only --extern-only "${ARCHIVE}"
                OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${ARCHIVE}")
endif()
get_filename_component(def_name "${DEF}" NAME)
set(body "")
foreach(name ordinal IN ZIP_LISTS names ordinals)
  if(symbols MATCHES "\n[0-9a-f]+ T ${PREFIX}${name}(@[0-9]+)?\n")
    string(APPEND body "    ${name}${CMAKE_MATCH_1} @${ordinal}\n")
  else()
    message(FATAL_ERROR "${def_name}: ${name} is defined nowhere in ${ARCHIVE}")
  endif()
endforeach()
file(WRITE "${OUT}.tmp" "; Written from ${def_name} by dlldef.cmake; edit that file instead.\nLIBRARY callmgr.dll\nEXPORTS\n${body}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
