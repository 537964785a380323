# Exports of a Windows DLL from a .def file written for the 32-bit build:
#   Name = Name@N
# exports the stdcall function Name@N (N: bytes of arguments) as the
# undecorated Name. 64-bit Windows has one calling convention and no
# decoration, so there the entries become plain names.
function(duvane_windows_exports target def_file)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(used ${def_file})
  else()
    file(READ ${def_file} text)
    string(REGEX REPLACE " = [A-Za-z_0-9]+@[0-9]+" "" text "${text}")
    get_filename_component(name ${def_file} NAME)
    set(used ${CMAKE_CURRENT_BINARY_DIR}/${target}-${name})
    file(CONFIGURE OUTPUT ${used} CONTENT "${text}" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
  endif()
  target_sources(${target} PRIVATE ${used})
  set_target_properties(${target} PROPERTIES PREFIX "" LINK_DEPENDS ${used})
endfunction()
