# Peers measured in the same run: libsquish (Debian libsquish-dev); stb_image_resize and
# stb_dxt are compiled into the benchmark from their headers; photographs via libjpeg.
# hwy names the vector targets TOLVANE_VECTOR_TARGETS gives.
find_package(hwy REQUIRED)
target_link_libraries(bench_pixels PRIVATE tolvane_image squish JPEG::JPEG hwy::hwy)
