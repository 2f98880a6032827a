# The Device API end to end over USB, against emulated printers.
kesto_add_test(api_device_usb_test USB
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_api_usb_test.cpp
  LIBS kesto_fake_usb_printer
  RESOURCE_LOCK notification_ports)
