target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/detected_printer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hardware_detector.cpp)
