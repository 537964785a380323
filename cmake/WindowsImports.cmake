# An import library for a DLL whose stdcall exports are undecorated, from the
# DLL's own .def file written for the 32-bit build ("Name = Name@N"). The
# callers' objects refer to Name@N; dlltool -k makes each of those import the
# DLL's plain Name, so any DLL of that name with those exports can replace the
# one built here. 64-bit Windows has no decoration: there the names are plain.
# Callers link the INTERFACE target `target`.
function(duvane_windows_import_library target def_file)
  file(READ ${def_file} text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    string(REGEX REPLACE "[A-Za-z_0-9]+ = ([A-Za-z_0-9]+@[0-9]+)" "\\1" text "${text}")
  else()
    string(REGEX REPLACE " = [A-Za-z_0-9]+@[0-9]+" "" text "${text}")
  endif()
  set(import_def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  file(CONFIGURE OUTPUT ${import_def} CONTENT "${text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
  set(library ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_DLLTOOL} -k -d ${import_def} -l ${library}
    DEPENDS ${import_def}
    VERBATIM)
  add_custom_target(${target}_archive DEPENDS ${library})
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE ${library})
  add_dependencies(${target} ${target}_archive)
endfunction()
