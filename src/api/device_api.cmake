target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/device_api.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_thread.cpp)
