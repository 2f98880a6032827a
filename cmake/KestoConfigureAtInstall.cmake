# Run by the install script for each kesto_install_configured() file: fills the template
# with the directories of this installation and writes it under DESTDIR.
# In: kesto_template, kesto_destination (relative to the prefix, or absolute), kesto_mode,
# kesto_dirs (NAME=relative-or-absolute-dir pairs).
set(prefix "${CMAKE_INSTALL_PREFIX}")
foreach(pair IN LISTS kesto_dirs)
  string(REGEX MATCH "^([A-Z]+)=(.*)$" _ "${pair}")
  cmake_path(ABSOLUTE_PATH CMAKE_MATCH_2 BASE_DIRECTORY "${prefix}" OUTPUT_VARIABLE CMAKE_INSTALL_FULL_${CMAKE_MATCH_1})
endforeach()
cmake_path(ABSOLUTE_PATH kesto_destination BASE_DIRECTORY "${prefix}" OUTPUT_VARIABLE kesto_target)
set(kesto_target "$ENV{DESTDIR}${kesto_target}")
message(STATUS "Installing: ${kesto_target}")
configure_file("${kesto_template}" "${kesto_target}" @ONLY FILE_PERMISSIONS ${kesto_mode})
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${kesto_target}")
