# Warnings for every target of the project; CI turns them into errors.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(DUVANE_WERROR)
  add_compile_options(-Werror)
endif()
