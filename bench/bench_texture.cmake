target_link_libraries(bench_texture PRIVATE tolvane_texture JPEG::JPEG)
