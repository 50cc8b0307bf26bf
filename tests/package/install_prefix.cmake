# cmake -DBUILD=<build dir> -DPREFIX=<dir> -P install_prefix.cmake: a fresh install.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} --prefix ${PREFIX} failed: ${result}")
endif()
foreach(f lib/cmake/Tolvane/TolvaneConfig.cmake include/tolvane/texture/texture.h
    lib/pkgconfig/tolvane-texture.pc share/tolvane/Textures/corridor1.jpg bin/tolvane bin/tolvane-capture)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "the install has no ${f}")
  endif()
endforeach()
