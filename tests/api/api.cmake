kesto_add_test(api_device_tcp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_api_tcp_test.cpp
  LIBS kesto_fake_tcp_printer)
kesto_add_test(api_status_thread_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/status_thread_test.cpp
  LIBS kesto_fake_tcp_printer
  TIMEOUT 180)
