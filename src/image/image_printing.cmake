target_sources(kesto_obj PRIVATE ${CMAKE_CURRENT_LIST_DIR}/image_printing.cpp)
