kesto_add_test(platform_debug_log_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/debug_log_test.cpp)
kesto_add_test(platform_events_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/events_test.cpp)
kesto_add_test(platform_mutex_thread_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/mutex_thread_test.cpp)
