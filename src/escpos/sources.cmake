target_sources(kesto_obj PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/command_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/formatting_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/init_sequences.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_cut_drawer.cpp)
