# The BMP reader, the header reading that sizes a picture before it is loaded, and the
# converter module's two decoders, on arbitrary bytes.
qv_add_fuzzer(fuzz_bmp_loader SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_bmp_loader.cpp LIBS qv_imagefile)
qv_add_fuzzer(fuzz_picture_header SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_picture_header.cpp LIBS qv_imagefile)
qv_add_fuzzer(fuzz_converted_bitmap SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_converted_bitmap.cpp LIBS qv_imagefile)
qv_add_fuzzer(fuzz_jpg_to_bmp SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_jpg_to_bmp.cpp LIBS zentile_codecs)
qv_add_fuzzer(fuzz_png_to_bmp SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_png_to_bmp.cpp LIBS zentile_codecs)
# The converter module's own reading of metadata: JPEG segments, PNG chunks, EXIF directories.
qv_add_fuzzer(fuzz_picture_metadata SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_picture_metadata.cpp LIBS zentile_codecs)
# The whole reading of a photograph, turned upright; the PNG and JPEG writers with any metadata.
qv_add_fuzzer(fuzz_picture_to_bmp SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_picture_to_bmp.cpp LIBS zentile_codecs)
qv_add_fuzzer(fuzz_picture_writers SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_picture_writers.cpp LIBS zentile_codecs)
