# denoise_bench: the whole denoise run on pictures of three sizes, in megapixels per second.
add_executable(denoise_bench ${CMAKE_CURRENT_LIST_DIR}/denoise_bench.cpp)
target_link_libraries(denoise_bench PRIVATE qv_core benchmark::benchmark)
target_link_libraries(denoise_bench PRIVATE benchmark::benchmark_main)
