# Virtual printer tests: they link the emulator's own library, and read the
# codes it draws back with ZXing.
if(TARGET kesto_vprinter)
  find_package(ZXing REQUIRED)
  foreach(part text raster barcode robustness status)
    if(NOT EXISTS ${CMAKE_CURRENT_LIST_DIR}/virtual_printer_${part}_test.cpp)
      continue()
    endif()
    kesto_add_test(virtual_printer_${part}_test
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/virtual_printer_${part}_test.cpp
      LIBS kesto_vprinter ZXing::ZXing)
  endforeach()
  # The status test also runs the printer program and stops it with a signal.
  target_compile_definitions(virtual_printer_status_test PRIVATE
    KESTO_VIRTUAL_PRINTER="$<TARGET_FILE:kesto-virtual-printer>")
  add_dependencies(virtual_printer_status_test kesto-virtual-printer)
endif()
