# The side-by-side run draws the same scene through Mesa's offscreen OpenGL (llvmpipe).
pkg_check_modules(OSMESA QUIET IMPORTED_TARGET osmesa)
if(OSMESA_FOUND)
  target_link_libraries(bench_raster PRIVATE tolvane_raster PkgConfig::OSMESA)
  target_compile_definitions(bench_raster PRIVATE TOLVANE_HAVE_OSMESA=1)
else()
  target_link_libraries(bench_raster PRIVATE tolvane_raster)
endif()
# The scene's states are set in the platform's values and translated as the device does.
target_sources(bench_raster PRIVATE ${PROJECT_SOURCE_DIR}/platform/d3d8/state_translation.cpp)
