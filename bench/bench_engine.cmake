# Wavelet transform and shrinkage on three planes, as one picture's run uses them.
add_executable(transform_bench ${CMAKE_CURRENT_LIST_DIR}/transform_bench.cpp)
target_link_libraries(transform_bench PRIVATE qv_core benchmark::benchmark)
