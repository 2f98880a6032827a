# Image printing uses the fixed files /tmp/saved1.bmp and /tmp/kesto1bpp.bmp:
# its tests must not run side by side.
kesto_add_test(image_printing_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/image_printing_test.cpp
  LIBS kesto_recording_comm
  RESOURCE_LOCK fixed_image_files)
