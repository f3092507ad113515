# cbm3d_reference: the field's reference for white noise, set beside the fine method by
# denoise_quality.py --cbm3d.
add_executable(cbm3d_reference ${CMAKE_CURRENT_LIST_DIR}/cbm3d_reference.cpp)
find_package(Threads REQUIRED)
target_link_libraries(cbm3d_reference PRIVATE Threads::Threads)
