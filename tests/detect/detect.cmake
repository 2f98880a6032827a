kesto_add_test(detect_detected_printer_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/detected_printer_test.cpp)
# Every detector binds the fixed endpoints of the notification channel: one at a time.
kesto_add_test(detect_hardware_detector_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hardware_detector_test.cpp
  RESOURCE_LOCK notification_ports)
