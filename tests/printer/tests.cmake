kesto_add_test(printer_description_test SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/description_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_helpers_test.cpp)
