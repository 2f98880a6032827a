# Binds the fixed loopback endpoints of the notification channel: one at a time.
kesto_add_test(platform_notification_channel_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/notification_channel_test.cpp
  RESOURCE_LOCK notification_ports)
