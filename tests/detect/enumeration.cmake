# The detector's USB enumeration against emulated printers.
kesto_add_test(detect_enumeration_test USB
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/enumeration_test.cpp
  LIBS kesto_fake_usb_printer
  RESOURCE_LOCK notification_ports)
