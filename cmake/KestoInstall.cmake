# Install layout and Debian packages. Included near the top of the build, before any
# subdirectory, so that every folder installs into the same GNU directories; the rules for
# the library itself run at the end of the top-level directory, once its target exists.
#
# Components: runtime (library, conversion script, udev rule), dev (header, pkg-config file,
# CMake package), tools (kesto, kesto-virtual-printer, kesto-hotplugd and its unit), java (jar).

# Debian keeps libraries in the multiarch folder under any prefix: /usr/local/lib/<triplet>
# is on the loader's path as well as /usr/lib/<triplet>.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The path the library runs the conversion script from when KESTO_CONVERT_SCRIPT is unset.
set(KESTO_CONVERT_FIXED_PATH /Volumes/VIZADAZEVUdiDizevezizov/scripts/Convert.sh)

# kesto_install_configured(TEMPLATE DESTINATION dir COMPONENT c [PROGRAM] [RENAME name])
# Installs a file made from TEMPLATE when it is installed, not when the build is configured:
# @prefix@ and @CMAKE_INSTALL_FULL_BINDIR@ (and _LIBDIR@, _LIBEXECDIR@, _INCLUDEDIR@) come
# from the prefix of that moment ("cmake --install --prefix", CPack's /usr), so that packages
# made from any build point at /usr. DESTINATION may be absolute. The file keeps the
# template's name without a trailing ".in", unless RENAME gives one.
function(kesto_install_configured template)
  cmake_parse_arguments(A "PROGRAM" "DESTINATION;COMPONENT;RENAME" "" ${ARGN})
  get_filename_component(template "${template}" ABSOLUTE)
  get_filename_component(name "${template}" NAME)
  string(REGEX REPLACE "\\.in$" "" name "${name}")
  if(A_RENAME)
    set(name ${A_RENAME})
  endif()
  set(mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  if(A_PROGRAM)
    list(APPEND mode OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
  endif()
  install(CODE "
    set(kesto_template [[${template}]])
    set(kesto_destination [[${A_DESTINATION}/${name}]])
    set(kesto_mode ${mode})
    set(PROJECT_VERSION ${PROJECT_VERSION})
    set(kesto_dirs BINDIR=${CMAKE_INSTALL_BINDIR} LIBDIR=${CMAKE_INSTALL_LIBDIR}
        LIBEXECDIR=${CMAKE_INSTALL_LIBEXECDIR} INCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR})
    include([[${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KestoConfigureAtInstall.cmake]])"
    COMPONENT ${A_COMPONENT})
endfunction()

# Package names, used by the rules below and by the packaging.
set(KESTO_DEB_RUNTIME libkestocommu0)
set(KESTO_DEB_DEV libkestocommu-dev)
set(KESTO_DEB_TOOLS kesto-tools)
set(KESTO_DEB_JAVA libkestocommu-java)

function(kesto_install_library)
  # The loader and the linker take libKESTOCommu.so.0; the JVM binding (and any host that
  # dlopens the library) asks for libKESTOCommu.so, so that link ships with the library.
  set_target_properties(KESTOCommu PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  # The source tree's include folder is for the build only; installed users get the
  # include folder of the installation.
  get_target_property(build_includes KESTOCommu INTERFACE_INCLUDE_DIRECTORIES)
  set(wrapped)
  foreach(dir IN LISTS build_includes)
    list(APPEND wrapped "$<BUILD_INTERFACE:${dir}>")
  endforeach()
  set_target_properties(KESTOCommu PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")

  install(TARGETS KESTOCommu EXPORT KESTOCommuTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT runtime
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/include/kesto/kesto.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kesto COMPONENT dev)

  kesto_install_configured(${PROJECT_SOURCE_DIR}/cmake/KESTOCommu.pc.in
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

  set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/KESTOCommu)
  install(EXPORT KESTOCommuTargets NAMESPACE KESTOCommu:: DESTINATION ${config_dir} COMPONENT dev)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/KESTOCommuConfig.cmake.in
    ${PROJECT_BINARY_DIR}/KESTOCommuConfig.cmake @ONLY)
  # 0.x releases may change the interface at each minor version.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/KESTOCommuConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/KESTOCommuConfig.cmake ${PROJECT_BINARY_DIR}/KESTOCommuConfigVersion.cmake
    DESTINATION ${config_dir} COMPONENT dev)

  if(TARGET kesto-hotplugd)
    include(${PROJECT_SOURCE_DIR}/cmake/KestoPackage.cmake)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL kesto_install_library)
