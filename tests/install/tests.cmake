# The installation and the Debian packages, checked in a scratch folder of the build tree.
# Needs the tools (they make up two of the packages); a sanitized library cannot be
# loaded by the plain C consumer, so scripts/test leaves the label out of those flavours.
if(TARGET kesto-hotplugd)
  add_test(NAME install_and_packages
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_install.sh ${PROJECT_BINARY_DIR}
      ${CMAKE_CURRENT_BINARY_DIR}/install-check ${PROJECT_VERSION} ${CMAKE_COMMAND} ${CMAKE_CPACK_COMMAND}
      $<$<TARGET_EXISTS:kesto_java>:java>)
  set_tests_properties(install_and_packages PROPERTIES LABELS install TIMEOUT 300)
endif()
