target_sources(kesto_obj PRIVATE ${CMAKE_CURRENT_LIST_DIR}/usb_transport.cpp)
