target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/xml_helpers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/printer.cpp)
