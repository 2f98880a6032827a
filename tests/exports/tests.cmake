add_test(NAME exported_symbols
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_exports.sh $<TARGET_FILE:KESTOCommu>
          ${CMAKE_CURRENT_LIST_DIR}/required_symbols.txt)
set_tests_properties(exported_symbols PROPERTIES LABELS exports)
