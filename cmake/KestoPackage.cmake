# Debian packages, one per install component, made by "cpack -G DEB" (scripts/package).
# Included last: CPack takes the components of the install rules made before it. The
# runtime and tools packages need the tools' folders (KESTO_BUILD_TOOLS).

# A packaging-only change raises the Debian revision.
set(KESTO_DEB_RELEASE 1)
set(KESTO_DEB_VERSION ${PROJECT_VERSION}-${KESTO_DEB_RELEASE})
if(DEFINED ENV{DEBEMAIL})
  set(maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
else()
  set(maintainer "libKESTOCommu packagers <kesto-packages@example.org>")
endif()
set(KESTO_PACKAGE_MAINTAINER "${maintainer}" CACHE STRING
  "Maintainer field of the Debian packages (default: DEBFULLNAME <DEBEMAIL>)")

set(components runtime dev tools)
if(TARGET kesto_java)
  list(APPEND components java)
endif()

# Every package carries its copyright file and a Debian changelog.
string(TIMESTAMP KESTO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component IN LISTS components)
  string(TOUPPER ${component} upper)
  set(KESTO_DEB_PACKAGE ${KESTO_DEB_${upper}})
  set(doc_dir ${PROJECT_BINARY_DIR}/debian/${KESTO_DEB_PACKAGE})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${doc_dir}/copyright @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/changelog.Debian.in ${doc_dir}/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9nf ${doc_dir}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
  set(docs ${doc_dir}/copyright ${doc_dir}/changelog.Debian.gz)
  set(overrides ${PROJECT_SOURCE_DIR}/cmake/debian/${component}/lintian-overrides)
  if(EXISTS ${overrides})
    install(FILES ${overrides} DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
      RENAME ${KESTO_DEB_PACKAGE} COMPONENT ${component})
  endif()
  install(FILES ${docs} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KESTO_DEB_PACKAGE} COMPONENT ${component})
  file(GLOB scripts ${PROJECT_SOURCE_DIR}/cmake/debian/${component}/*inst
    ${PROJECT_SOURCE_DIR}/cmake/debian/${component}/*rm ${PROJECT_SOURCE_DIR}/cmake/debian/${component}/triggers)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${KESTO_DEB_PACKAGE})
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA ${scripts})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME KESTOCommu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KESTO_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps must find the library the tools link against, though no installed package has it.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/KestoCPackOptions.cmake)
file(GENERATE OUTPUT ${CPACK_PROJECT_CONFIG_FILE}
  CONTENT "set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS [[$<TARGET_FILE_DIR:KESTOCommu>]])\n")

set(same_library "${KESTO_DEB_RUNTIME} (= ${KESTO_DEB_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The conversion script runs ImageMagick's convert.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "imagemagick")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "${KESTO_DEB_TOOLS}")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "driver library for ESC/POS receipt printers
libKESTOCommu drives ESC/POS point-of-sale receipt printers of the KESTO family
over USB (libusb) or TCP/IP: it lists attached printers and hears of printers
plugged in or pulled out, prints text, barcodes, QR and PDF417 codes and raster
images, cuts the paper, kicks the cash drawer and reports the printer's status.
Its plain C interface is made for a JavaPOS device service that loads it in a
Java virtual machine.

This package contains the shared library, the image conversion script it runs
and the udev rule that gives the local user and the group lp access to the
printers.")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${same_library}")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_DESCRIPTION "driver library for ESC/POS receipt printers - development files
libKESTOCommu drives ESC/POS point-of-sale receipt printers over USB or TCP/IP
through a plain C interface.

This package contains the header kesto/kesto.h, the pkg-config file
KESTOCommu.pc and the CMake package KESTOCommu (imported target
KESTOCommu::KESTOCommu).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# The virtual printer draws its receipts in the Terminus bitmap fonts.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${same_library}, fonts-terminus-otb, xfonts-wqy, fonts-unifont")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "tools for ESC/POS receipt printers driven by libKESTOCommu
kesto prints text, barcodes, images and sample receipts, cuts, opens the cash
drawer and watches the status of a printer from the shell, through
libKESTOCommu.

kesto-virtual-printer is an ESC/POS printer in software: it listens on TCP,
renders every receipt to a PNG image and a transcript and answers status
requests, so that hosts can be tried without a printer.

kesto-hotplugd tells running libKESTOCommu instances when a printer is plugged
in or pulled out; a systemd unit is included, not enabled.")

set(CPACK_DEBIAN_JAVA_PACKAGE_SECTION java)
set(CPACK_DEBIAN_JAVA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_JAVA_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_JAVA_PACKAGE_DEPENDS "libjna-java, ${KESTO_DEB_RUNTIME} (>= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_JAVA_DESCRIPTION "Java binding for the libKESTOCommu receipt printer library
libKESTOCommu drives ESC/POS point-of-sale receipt printers over USB or TCP/IP.

This package contains kesto-java.jar: a JNA interface to every function of the
library and the classes KestoPrinter and KestoDetector for JavaPOS services.")

include(CPack)
