target_sources(kesto_obj PRIVATE ${CMAKE_CURRENT_LIST_DIR}/bmp_image.cpp ${CMAKE_CURRENT_LIST_DIR}/bmp_format.cpp)
