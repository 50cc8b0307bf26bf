# bench_decode: the image decoders against stb_image and the libraries called directly.
target_link_libraries(bench_decode PRIVATE tolvane_image JPEG::JPEG PNG::PNG)
