# kesto-hotplugd: its core against emulated printers (in this process, so it
# shares the umockdev testbed), and the program itself for options and signals.
# Both use the fixed notification endpoints.
if(TARGET kesto_hotplug_core)
  kesto_add_test(tools_hotplug_notifier_test USB
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotplug_notifier_test.cpp
    LIBS kesto_hotplug_core kesto_fake_usb_printer
    RESOURCE_LOCK notification_ports)
  kesto_add_test(tools_hotplug_daemon_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotplug_daemon_test.cpp
    LIBS kesto_hotplug_core
    RESOURCE_LOCK notification_ports)
  target_compile_definitions(tools_hotplug_daemon_test PRIVATE
    KESTO_HOTPLUGD_PATH="$<TARGET_FILE:kesto-hotplugd>")
  add_dependencies(tools_hotplug_daemon_test kesto-hotplugd)
endif()
