target_sources(kesto_obj PRIVATE ${CMAKE_CURRENT_LIST_DIR}/printer_objects.cpp)
