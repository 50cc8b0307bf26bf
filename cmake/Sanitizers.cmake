if(TOLVANE_SANITIZE AND TOLVANE_TSAN)
  message(FATAL_ERROR "TOLVANE_SANITIZE and TOLVANE_TSAN cannot be combined: the address and thread sanitizers exclude each other")
endif()
# TOLVANE_SANITIZER_LINK_OPTIONS: what a program linking the instrumented libraries needs
# (their calls into the sanitizers' runtimes). The installed package carries it
# (cmake/Package.cmake), so that a sanitized install links as it is.
set(TOLVANE_SANITIZER_LINK_OPTIONS "")
if(TOLVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  set(TOLVANE_SANITIZER_LINK_OPTIONS -fsanitize=address,undefined)
endif()
if(TOLVANE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  set(TOLVANE_SANITIZER_LINK_OPTIONS -fsanitize=thread)
endif()
add_link_options(${TOLVANE_SANITIZER_LINK_OPTIONS})
