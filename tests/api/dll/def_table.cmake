# Writes callmgr.def's exports as a C++ table for the Windows test program
# that binds them, so the definition file stays the one list.
#   cmake -DSRC=<source dir>/src -DOUT=callmgr_def_table.h -P def_table.cmake
cmake_minimum_required(VERSION 3.25)
include("${SRC}/deffile.cmake")
callmgr_read_def("${SRC}/api/callmgr.def" names ordinals)
set(rows "")
foreach(name ordinal IN ZIP_LISTS names ordinals)
  string(APPEND rows "    {${ordinal}, \"${name}\"},\n")
endforeach()
file(WRITE "${OUT}.tmp" "/* Written from callmgr.def by def_table.cmake. */
struct DefExport {
    unsigned short ordinal;
    const char *name;
};
const DefExport DEF_Exports[] = {
${rows}};
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
