# The settings file reader; the start-up picture's unpacker on arbitrary blocks, and packer and
# unpacker against each other.
qv_add_fuzzer(fuzz_splash_image SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_splash_image.cpp LIBS qv_support)
qv_add_fuzzer(fuzz_splash_round_trip
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_splash_round_trip.cpp ${PROJECT_SOURCE_DIR}/tools/splash_encoder.cpp
  LIBS qv_support)
qv_add_fuzzer(fuzz_settings_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_settings_file.cpp LIBS qv_support)
