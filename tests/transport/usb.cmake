kesto_add_test(transport_usb_test USB
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/usb_transport_test.cpp
  LIBS kesto_fake_usb_printer)
