# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package `ondrel`, built by CPack from the installed tree (`make package`
# or `cmake --build build --target package`). Installed under /usr; the shared
# libraries' soname dependencies are worked out by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ondrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package's maintainer, also named in its changelog.
set(ONDREL_MAINTAINER "Ondrel developers <ondrel-dev@lists.example.org>" CACHE STRING
  "Maintainer of the Debian package: Name <address>")
set(CPACK_PACKAGE_CONTACT "${ONDREL_MAINTAINER}")
set(CPACK_PACKAGE_VENDOR "Ondrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "radio host: one remote operator drives a transceiver over TCP")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_LIST_DIR}/debian/description)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 1)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's own libraries satisfy the program's needs; dpkg-shlibdeps learns them
# from the shlibs file CPack writes for them. CPack adds no ldconfig call when the
# package has maintainer scripts of its own: debian/triggers asks for it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
# adduser and systemd's sysusers make the service's user in postinst.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
# baresip-core is the SIP engine of voice calls (libVoxline.so runs it).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "baresip-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
  ${CMAKE_CURRENT_LIST_DIR}/debian/prerm
  ${CMAKE_CURRENT_LIST_DIR}/debian/postrm
  ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian's documentation files: copyright and a compressed changelog.
set(ONDREL_DOC_FOLDER ${CMAKE_INSTALL_DATADIR}/doc/ondrel)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${ONDREL_DOC_FOLDER})
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian @ONLY)
set(ONDREL_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${ONDREL_CHANGELOG_GZ}
  COMMAND gzip -9nc ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian > ${ONDREL_CHANGELOG_GZ}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
  VERBATIM)
# Manual pages are installed compressed, as Debian wants them.
set(ONDREL_MAN_GZ "")
foreach(source ${ONDREL_MAN_PAGES})
  get_filename_component(page ${source} NAME)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz
    COMMAND gzip -9nc ${source} > ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz
    DEPENDS ${source}
    VERBATIM)
  list(APPEND ONDREL_MAN_GZ ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
endforeach()
add_custom_target(ondrel_compressed_docs ALL DEPENDS ${ONDREL_CHANGELOG_GZ} ${ONDREL_MAN_GZ})
install(FILES ${ONDREL_CHANGELOG_GZ} DESTINATION ${ONDREL_DOC_FOLDER})

include(CPack)

# make package-check: the .deb built and looked at with dpkg-deb and lintian.
add_custom_target(package-check
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check-package.sh ${PROJECT_BINARY_DIR} ${CMAKE_INSTALL_LIBDIR}
  DEPENDS ondrel radiosim ondrel_icons ondrel_compressed_docs
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  USES_TERMINAL
  VERBATIM)
