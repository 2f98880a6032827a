# End-to-end tests: the real library (and the kesto tool) printing over TCP to
# the virtual printer, which renders what arrives; codes are scanned back with ZXing.
if(TARGET kesto_vprinter AND TARGET kesto)
  if(NOT TARGET ZXing::ZXing)
    find_package(ZXing REQUIRED)
  endif()

  kesto_add_test(e2e_sample_receipts_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sample_receipts_e2e_test.cpp
    LIBS kesto_vprinter ZXing::ZXing)
  kesto_add_test(e2e_barcode_text_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/barcode_text_e2e_test.cpp
    LIBS kesto_vprinter ZXing::ZXing)
  kesto_add_test(e2e_status_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/status_e2e_test.cpp
    LIBS kesto_vprinter ZXing::ZXing
    TIMEOUT 180)

  # The kesto tool as a separate process; `kesto list` starts a hardware
  # detector, which binds the notification ports.
  kesto_add_test(e2e_kesto_cli_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/kesto_cli_e2e_test.cpp
    LIBS kesto_vprinter ZXing::ZXing
    RESOURCE_LOCK notification_ports)
  target_compile_definitions(e2e_kesto_cli_test PRIVATE KESTO_E2E_CLI="$<TARGET_FILE:kesto>")
  add_dependencies(e2e_kesto_cli_test kesto)

  # Image printing goes through /tmp/saved1.bmp and /tmp/kesto1bpp.bmp.
  kesto_add_test(e2e_image_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/image_e2e_test.cpp
    LIBS kesto_vprinter ZXing::ZXing
    RESOURCE_LOCK fixed_image_files)
  target_compile_definitions(e2e_image_test PRIVATE
    KESTO_E2E_CONVERT_SCRIPT="${PROJECT_SOURCE_DIR}/tools/convert/Convert.sh"
    KESTO_E2E_CONVERTER="$<TARGET_FILE:kesto-convert>")
  add_dependencies(e2e_image_test kesto-convert)
endif()

# The demo script: the virtual printer and kesto binaries of this build, and
# the sample photo through the conversion script.
if(TARGET kesto-virtual-printer AND TARGET kesto)
  kesto_add_test(e2e_demo_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/demo_e2e_test.cpp
    LABELS demo
    RESOURCE_LOCK fixed_image_files
    TIMEOUT 300)
  target_compile_definitions(e2e_demo_test PRIVATE
    KESTO_E2E_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KESTO_E2E_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(e2e_demo_test kesto kesto-virtual-printer)
endif()
