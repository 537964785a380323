# ASan+UBSan for the whole build. Code that is loaded into programs we do not
# build (the simulated reader driver runs inside pcscd) opts out with
# duvane_no_sanitizers() in its own folder.
set(DUVANE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
if(DUVANE_SANITIZE)
  add_compile_options(${DUVANE_SANITIZER_FLAGS})
  add_link_options(${DUVANE_SANITIZER_FLAGS})
endif()

function(duvane_no_sanitizers)
  foreach(prop COMPILE_OPTIONS LINK_OPTIONS)
    get_directory_property(opts ${prop})
    list(REMOVE_ITEM opts ${DUVANE_SANITIZER_FLAGS})
    set_directory_properties(PROPERTIES ${prop} "${opts}")
  endforeach()
endfunction()
