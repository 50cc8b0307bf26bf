# tolvane_warnings: the warning set every project target builds with.
add_library(tolvane_warnings INTERFACE)
target_compile_options(tolvane_warnings INTERFACE
  -Wall -Wextra -Wno-unused-parameter
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)

# tolvane_layer(target): a layer library with the project's include root and warnings.
function(tolvane_layer target)
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:tolvane_warnings>)
endfunction()

# Exact float arithmetic: no contraction of a*b+c into a fused multiply-add, so
# results do not depend on the compiler or the instruction set.
function(tolvane_exact_float target)
  target_compile_options(${target} PRIVATE -ffp-contract=off)
endfunction()

# tolvane_add_layer(target dir [PACKAGED] [PUBLIC deps...] [PRIVATE deps...]): a static library
# of every .cpp in dir (main.cpp excluded: program entries are executables of their own).
# A PACKAGED layer is one of the installed libraries: it follows BUILD_SHARED_LIBS.
function(tolvane_add_layer target dir)
  cmake_parse_arguments(ARG "PACKAGED" "" "PUBLIC;PRIVATE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    if(ARG_PACKAGED)
      add_library(${target} ${sources})
    else()
      add_library(${target} STATIC ${sources})
    endif()
    tolvane_layer(${target})
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    target_link_libraries(${target} INTERFACE ${ARG_PUBLIC} ${ARG_PRIVATE})
  endif()
endfunction()
