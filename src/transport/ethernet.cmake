target_sources(kesto_obj PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ethernet_transport.cpp)
