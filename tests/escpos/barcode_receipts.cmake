kesto_add_test(escpos_barcode_receipts_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/barcode_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sample_receipts_test.cpp
  LIBS kesto_recording_comm)
