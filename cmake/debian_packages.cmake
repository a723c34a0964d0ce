# The Debian packages nicops and nicops-echo, made by CPack (scripts/package) from the install
# rules' two components. They install below /usr whatever the build's own install prefix; the
# library dependencies come from dpkg-shlibdeps. Maintainer scripts: packaging/linux/deb/.
set(NICOPS_PACKAGE_VERSION "" CACHE STRING
  "Version of the Debian packages (empty: the project's version)")
set(NICOPS_PACKAGE_MAINTAINER "nicops developers <nicops@localhost>" CACHE STRING
  "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nicops)
if(NICOPS_PACKAGE_VERSION)
  set(CPACK_PACKAGE_VERSION ${NICOPS_PACKAGE_VERSION})
else()
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
endif()
set(CPACK_PACKAGE_CONTACT "${NICOPS_PACKAGE_MAINTAINER}")
# The install runs with the prefix /usr under a staging DESTDIR, so the files that name a
# program's path (cmake/installed_paths.cmake) name /usr/bin.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL nicops echo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(deb ${PROJECT_SOURCE_DIR}/packaging/linux/deb)
set(CPACK_DEBIAN_NICOPS_PACKAGE_NAME nicops)
# The window's privileged path runs pkexec /usr/bin/nicopsctl.
set(CPACK_DEBIAN_NICOPS_PACKAGE_DEPENDS pkexec)
# The window's captions are Chinese; the smaller font first.
set(CPACK_DEBIAN_NICOPS_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_NICOPS_PACKAGE_CONTROL_EXTRA ${deb}/nicops/postinst ${deb}/nicops/postrm)
set(CPACK_COMPONENT_NICOPS_DESCRIPTION "manage many IPv4 addresses on network adapters
nicops shows every IPv4 address of every network adapter of the host in one list, adds
whole ranges, deletes selected addresses, keeps an adapter's address set across restarts
(nicops-restore.service, not enabled by the package) and exports the addresses as lines of
a template. nicopsctl is its command-line twin.")

set(CPACK_DEBIAN_ECHO_PACKAGE_NAME nicops-echo)
set(CPACK_DEBIAN_ECHO_PACKAGE_DEPENDS "libloc-database, iso-codes, adduser")
set(CPACK_DEBIAN_ECHO_PACKAGE_CONTROL_EXTRA ${deb}/nicops-echo/postinst
  ${deb}/nicops-echo/prerm ${deb}/nicops-echo/postrm)
set(CPACK_COMPONENT_ECHO_DESCRIPTION "endpoint answering nicops' external address lookups
nicops-echo answers GET /GetIp/default.aspx with the caller's address, country and
network (from libloc-database) and, with a city-level .mmdb database, region and city.
nicops-echo.service runs it as the system user nicops-echo; the package neither enables
nor starts it.")

include(CPack)
