# imagefile_bench: loading and saving a 12-megapixel picture as BMP, and the module's PNG and
# JPEG conversions, in megapixels per second.
add_executable(imagefile_bench ${CMAKE_CURRENT_LIST_DIR}/imagefile_bench.cpp)
target_link_libraries(imagefile_bench PRIVATE qv_core zentile_codecs benchmark::benchmark benchmark::benchmark_main)
