kesto_add_test(escpos_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/command_table_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/formatting_commands_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/init_sequences_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_cut_drawer_test.cpp
  LIBS kesto_recording_comm)
