# Writes the loader's export table of libcallmgr.so (the ordinals and names
# that GetProcAddress answers) from callmgr.def, so the definition file is
# the only list of exports kept by hand.
#   cmake -DDEF=callmgr.def -DOUT=callmgr_exports.cpp -P exports_table.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/deffile.cmake")
callmgr_read_def("${DEF}" names ordinals)
get_filename_component(def_name "${DEF}" NAME)
set(rows "")
foreach(name ordinal IN ZIP_LISTS names ordinals)
  string(APPEND rows "    {${ordinal}, \"${name}\", PAL_PROC(${name})},\n")
endforeach()
file(WRITE "${OUT}.tmp"
"/* Generated from ${def_name} by exports_table.cmake; edit the .def file instead. */
#include \"api/module.h\"

#include <callmgr.h>
#include <cmwire.h>

extern \"C\" const PAL_EXPORT LIB_Exports[] = {
${rows}};
extern \"C\" const size_t LIB_ExportCount = sizeof LIB_Exports / sizeof LIB_Exports[0];
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
