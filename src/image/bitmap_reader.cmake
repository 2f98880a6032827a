target_sources(kesto_obj PRIVATE ${CMAKE_CURRENT_LIST_DIR}/bitmap_file_reader.cpp)
