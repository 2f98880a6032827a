kesto_add_test(transport_status_decoder_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/status_decoder_test.cpp)
kesto_add_test(transport_ethernet_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ethernet_transport_test.cpp
  LIBS kesto_fake_tcp_printer)
kesto_add_test(transport_ethernet_slow_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ethernet_transport_slow_test.cpp
  LIBS kesto_fake_tcp_printer
  LABELS slow)
