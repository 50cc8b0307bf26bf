# The program's vector targets against the fixed-function vertex stage; hwy names the
# targets TOLVANE_VECTOR_TARGETS gives.
find_package(hwy REQUIRED)
target_link_libraries(bench_vertex_program PRIVATE tolvane_raster hwy::hwy)
