target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/debug_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timer_timed_wait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mutex_thread.cpp)
