# qvn's option parser on arbitrary argument lists, and its JSON strings on arbitrary bytes.
qv_add_fuzzer(fuzz_qvn_options
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_qvn_options.cpp ${PROJECT_SOURCE_DIR}/cli/options.cpp
          ${PROJECT_SOURCE_DIR}/cli/json_report.cpp ${PROJECT_SOURCE_DIR}/colour/view_keys.cpp
  LIBS qv_support)
target_include_directories(fuzz_qvn_options PRIVATE ${PROJECT_SOURCE_DIR})
