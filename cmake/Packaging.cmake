# The Debian package duvane_<version>_<arch>.deb, built by scripts/package-deb
# with CPack: the service, its identity-card helper and the reader library in
# /usr/lib/duvane (the service finds them next to itself), the unit, velmora-tool, the
# documentation. The identity-card stand-in lies in a folder of its own; the
# maintainer scripts register it with update-alternatives for the file name
# the service links against, so that a vendor library can take its place and
# no upgrade ever writes over a vendor's file.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
if(NOT TARGET SDuvane OR NOT TARGET duvane-idcard OR NOT TARGET Velmora OR NOT TARGET ZetIDCardAPI
   OR NOT TARGET velmora-tool)
  return()
endif()

set(DUVANE_PACKAGE_FOLDER ${PROJECT_SOURCE_DIR}/packaging/deb)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS SDuvane duvane-idcard RUNTIME DESTINATION lib/duvane)
install(TARGETS Velmora LIBRARY DESTINATION lib/duvane)
install(TARGETS ZetIDCardAPI LIBRARY DESTINATION lib/duvane/stand-in)
install(TARGETS velmora-tool RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/DuvaneS.service DESTINATION lib/systemd/system)
if(TARGET velmora-tool-manual)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/velmora-tool.1.gz DESTINATION share/man/man1)
endif()

# Debian keeps a package's changelog compressed, without a time stamp.
configure_file(${DUVANE_PACKAGE_FOLDER}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog -c > changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
add_custom_target(duvane-package-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)

set(DUVANE_DOC_FOLDER share/doc/duvane)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${DUVANE_PACKAGE_FOLDER}/copyright
              ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${DUVANE_DOC_FOLDER})
if(EXISTS ${PROJECT_SOURCE_DIR}/docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${DUVANE_DOC_FOLDER}/docs)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME duvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Duvane developers <duvane@example.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "local card-reader service for web pages
SDuvane answers web pages on this machine on TCP port 10240: the card number
and serial of contactless memory cards read through Quorvell K360A and K370A
readers (PC/SC, through the reader library Velmora), and the holder's data of
resident identity cards through the identity-card library ZetIDCardAPI, for
which a stand-in is included. velmora-tool checks readers and cards from the
command line.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The service loads libsystemd by name for its status reports, which
# dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pcscd, libsystemd0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${DUVANE_PACKAGE_FOLDER}/postinst ${DUVANE_PACKAGE_FOLDER}/prerm ${DUVANE_PACKAGE_FOLDER}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
