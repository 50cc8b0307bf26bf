# The pixel program runner of the rasterizer; hwy names the vector targets.
find_package(hwy REQUIRED)
target_link_libraries(bench_pixel_program PRIVATE tolvane_raster hwy::hwy)
