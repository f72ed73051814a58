# Writes the linker version script of libcallmgr.so: the system's exports as
# callmgr.def lists them, and every function that the platform layer's
# public headers declare for applications.
#   cmake -DDEF=callmgr.def -DHEADERS="a.h|b.h" -DOUT=callmgr.map -P exports.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/deffile.cmake")
string(REPLACE "|" ";" HEADERS "${HEADERS}")
callmgr_read_def("${DEF}" names ordinals)
foreach(header IN LISTS HEADERS)
  file(READ "${header}" text)
  string(REGEX MATCHALL "(WINAPI|PASCAL)[ \t*]+[A-Za-z_][A-Za-z0-9_]*[ \t]*\\(" decls "${text}")
  foreach(decl IN LISTS decls)
    string(REGEX REPLACE "^(WINAPI|PASCAL)[ \t*]+([A-Za-z_][A-Za-z0-9_]*).*" "\\2" name "${decl}")
    list(APPEND names "${name}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
set(body "")
foreach(name IN LISTS names)
  string(APPEND body "    ${name};\n")
endforeach()
file(WRITE "${OUT}.tmp" "{\n  global:\n${body}  local:\n    *;\n};\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
