kesto_add_test(image_bmp_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bmp_image_test.cpp)
kesto_add_test(image_bitmap_file_reader_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bitmap_file_reader_test.cpp)
