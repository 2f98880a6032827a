target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/globals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/device_handle.cpp)
