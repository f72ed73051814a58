# callmgr.dll: the system and the Windows side of the platform, with the
# resources as the DLL's resource section, exporting exactly callmgr.def's
# names at its ordinals.
#
# The stdcall entries are compiled as NAME@BYTES.  The linker is given
# callmgr.def's names with the decoration each got (read from the archive
# once it is built) and --kill-at, so the export table names them bare; the
# import library is written by dlltool from the same file, so applications
# still link against the decorated names while importing the bare ones.
set(callmgr_dll_def ${CMAKE_CURRENT_BINARY_DIR}/callmgr_dll.def)
# 32-bit Windows puts an underscore before every C name and decorates a
# stdcall one with its argument bytes; 64-bit Windows does neither.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(callmgr_c_prefix _)
  set(callmgr_entry_bytes @12)
else()
  set(callmgr_c_prefix "")
  set(callmgr_entry_bytes "")
endif()
add_custom_command(OUTPUT ${callmgr_dll_def}
  COMMAND ${CMAKE_COMMAND} -DDEF=${callmgr_def} -DNM=${CMAKE_NM}
          -DARCHIVE=$<TARGET_FILE:callmgr_core> -DPREFIX=${callmgr_c_prefix} -DOUT=${callmgr_dll_def}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/dlldef.cmake
  DEPENDS callmgr_core ${callmgr_def} ${CMAKE_CURRENT_SOURCE_DIR}/dlldef.cmake
          ${CMAKE_CURRENT_SOURCE_DIR}/deffile.cmake
  COMMENT "Writing the DLL's module definition from callmgr.def"
  VERBATIM)
add_custom_target(callmgr_dll_def DEPENDS ${callmgr_dll_def})

add_library(callmgr SHARED $<TARGET_OBJECTS:callmgr_resources>)
set_target_properties(callmgr PROPERTIES LINKER_LANGUAGE CXX PREFIX "" LINK_DEPENDS ${callmgr_dll_def})
add_dependencies(callmgr callmgr_dll_def)
# The system's loader calls the C run-time's DllMain, which is the library's
# own entry: a linker script of one assignment makes the one name the other.
# It follows the archive that defines LibMain, where the linker can define
# the alias, and precedes the run-time libraries, whose default DllMain it
# keeps out.  Those libraries go inside, so the DLL needs none of the
# compiler's DLLs beside it.
set(callmgr_entry_ld ${CMAKE_CURRENT_BINARY_DIR}/callmgr_entry.ld)
file(CONFIGURE OUTPUT ${callmgr_entry_ld} CONTENT
  "\"${callmgr_c_prefix}DllMain${callmgr_entry_bytes}\" = \"${callmgr_c_prefix}LibMain${callmgr_entry_bytes}\";\n")
target_link_libraries(callmgr PRIVATE -Wl,--whole-archive callmgr_core -Wl,--no-whole-archive
                      ${callmgr_entry_ld} palwin user32 kernel32 gdi32 winmm ctl3d32)
target_link_options(callmgr PRIVATE ${callmgr_dll_def} -Wl,--kill-at -static)
add_custom_command(TARGET callmgr POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} --kill-at --def ${callmgr_dll_def} --dllname callmgr.dll
          --output-lib $<TARGET_LINKER_FILE:callmgr>
  COMMENT "Writing the import library of callmgr.dll"
  VERBATIM)
target_include_directories(callmgr PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS callmgr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${callmgr_def} DESTINATION ${CMAKE_INSTALL_LIBDIR})
