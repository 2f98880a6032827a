if(TARGET kesto)
  kesto_add_test(tools_kesto_list_usb_test USB
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/kesto_list_usb_test.cpp
    LIBS kesto_fake_usb_printer
    RESOURCE_LOCK notification_ports)
  target_compile_definitions(tools_kesto_list_usb_test PRIVATE
    KESTO_CLI="$<TARGET_FILE:kesto>"
    KESTO_UMOCKDEV_PRELOAD="${KESTO_UMOCKDEV_PRELOAD_LIBRARY}")
  add_dependencies(tools_kesto_list_usb_test kesto)
endif()
