target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/barcode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sample_receipts.cpp)
