# The program's vector targets against the fixed-function vertex stage; hwy names the
# targets TOLVANE_VECTOR_TARGETS gives.
find_package(hwy REQUIRED)
target_link_libraries(bench_vertex_program PRIVATE tolvane_raster hwy::hwy)
# The fixed-function run's states are set in the platform's values and translated as the device does.
target_sources(bench_vertex_program PRIVATE ${PROJECT_SOURCE_DIR}/platform/d3d8/state_translation.cpp)
