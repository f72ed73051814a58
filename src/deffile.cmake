# Reads the export list of a module-definition file (callmgr.def), the one
# place where the library's exported names and their ordinals are kept.
#
#   callmgr_read_def(FILE NAMES_VAR ORDINALS_VAR)
#
# sets NAMES_VAR and ORDINALS_VAR to two lists of the same length, in the
# file's order.  The file has the usual frame: ';' starts a comment, a
# LIBRARY line names the module, and every line after EXPORTS is one
# "NAME @ORDINAL".  Anything else there (NONAME, DATA, aliases), a name or
# ordinal given twice, or an ordinal outside 1..65535 stops the build with the
# file's line: the loader's table keeps one ordinal per name and one name per
# ordinal, and a 16-bit ordinal.
function(callmgr_read_def def names_var ordinals_var)
  file(READ "${def}" text)
  # Comments go first: their ';' would split the lines below.
  string(REGEX REPLACE ";[^\n]*" "" text "${text}")
  string(REPLACE "\r" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(names "")
  set(ordinals "")
  set(section "")
  set(lineno 0)
  foreach(line IN LISTS lines)
    math(EXPR lineno "${lineno} + 1")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    if(line MATCHES "^(LIBRARY|NAME|DESCRIPTION|VERSION|HEAPSIZE|STACKSIZE|SECTIONS)([ \t]|$)")
      set(section "${CMAKE_MATCH_1}")
      continue()
    endif()
    if(line STREQUAL "EXPORTS")
      set(section EXPORTS)
      continue()
    endif()
    if(NOT section STREQUAL "EXPORTS")
      message(FATAL_ERROR "${def}:${lineno}: \"${line}\" is outside EXPORTS")
    endif()
    if(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)[ \t]+@[ \t]*([0-9]+)$")
      message(FATAL_ERROR "${def}:${lineno}: \"${line}\" is not NAME @ORDINAL")
    endif()
    set(name "${CMAKE_MATCH_1}")
    # Leading zeros do not make the ordinal octal.
    string(REGEX REPLACE "^0+" "" ordinal "${CMAKE_MATCH_2}")
    if(ordinal STREQUAL "")
      set(ordinal 0)
    endif()
    string(LENGTH "${ordinal}" digits)
    if(digits GREATER 5 OR ordinal LESS 1 OR ordinal GREATER 65535)
      message(FATAL_ERROR "${def}:${lineno}: ordinal of ${name} is not in 1..65535")
    endif()
    if(name IN_LIST names)
      message(FATAL_ERROR "${def}:${lineno}: ${name} is exported twice")
    endif()
    if(ordinal IN_LIST ordinals)
      message(FATAL_ERROR "${def}:${lineno}: ordinal ${ordinal} of ${name} is taken")
    endif()
    list(APPEND names "${name}")
    list(APPEND ordinals "${ordinal}")
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "${def}: exports nothing")
  endif()
  set(${names_var} "${names}" PARENT_SCOPE)
  set(${ordinals_var} "${ordinals}" PARENT_SCOPE)
endfunction()
