# Peers measured in the same run: libsquish (Debian libsquish-dev); stb_image_resize and
# stb_dxt are compiled into the benchmark from their headers; photographs via libjpeg.
target_link_libraries(bench_pixels PRIVATE tolvane_image squish JPEG::JPEG)
