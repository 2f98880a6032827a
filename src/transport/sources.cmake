target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/communication.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_decoder.cpp)
