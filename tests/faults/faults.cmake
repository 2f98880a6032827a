# The fault matrix: printers and hosts that misbehave, and a hostile
# environment. Every case checks results, error numbers, that the process
# lives on, and that accepted bytes arrive whole and in order.
kesto_add_test(faults_tcp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcp_faults_test.cpp
  LIBS kesto_fake_tcp_printer
  LABELS faults)
kesto_add_test(faults_tcp_slow_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/slow_faults_test.cpp
  LIBS kesto_fake_tcp_printer
  LABELS faults slow)
kesto_add_test(faults_usb_test USB
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/usb_faults_test.cpp
  LIBS kesto_fake_usb_printer
  LABELS faults)
# Detectors bind the fixed endpoints of the notification channel.
kesto_add_test(faults_misuse_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/misuse_faults_test.cpp
  LIBS kesto_fake_tcp_printer
  LABELS faults
  RESOURCE_LOCK notification_ports)
kesto_add_test(faults_log_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/log_faults_test.cpp
  LIBS kesto_fake_tcp_printer
  LABELS faults)
# Image printing uses the fixed files /tmp/saved1.bmp and /tmp/kesto1bpp.bmp.
kesto_add_test(faults_image_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/image_faults_test.cpp
  LIBS kesto_fake_tcp_printer
  LABELS faults
  RESOURCE_LOCK fixed_image_files)
