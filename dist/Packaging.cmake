# The Debian packages, made by `cpack -G DEB` in the build folder: one per install component.
#   corvanteer-cli  the command line and the service; needs no Qt, so a server installs it alone
#   corvanteer      the window; depends on corvanteer-cli of the same version
# Library dependencies are found by dpkg-shlibdeps. The maintainer scripts of corvanteer-cli
# create the system user the service runs as. Both are GPL-3.0-or-later; each holds its
# copyright file and changelog under /usr/share/doc (dist/CMakeLists.txt).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvanteer)
set(CPACK_PACKAGE_VENDOR "Corvanteer")
set(CPACK_PACKAGE_CONTACT "Corvanteer maintainers <packages@corvanteer.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY corvanteer)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed with DESTDIR and the prefix /usr, so what is written at install time (the
# systemd units name the program) sees the prefix the package has.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_COMPONENTS_ALL cli)
if(TARGET corvanteer)
    list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_COMPONENT_GUI_DEPENDS cli)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.corvanteer.org")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME corvanteer-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "mailing-list server on POP3 mailboxes and SMTP (command line and service)
Corvanteer keeps any number of mailing lists. Each list's posting address
is a POP3 mailbox; a shared List Server mailbox takes subscription requests,
verification replies and moderators' commands. A scan answers requests from
per-list templates and redistributes postings over SMTP.

This package holds corvanteer-cli, which does everything without a window,
and a systemd service that runs it as the system user corvanteer on
/var/lib/corvanteer. It needs no Qt.")
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/conffiles)
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_GUI_PACKAGE_NAME corvanteer)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_GUI_DESCRIPTION
    "mailing-list server on POP3 mailboxes and SMTP (desktop window)
Corvanteer keeps any number of mailing lists. Each list's posting address
is a POP3 mailbox; a shared List Server mailbox takes subscription requests,
verification replies and moderators' commands. A scan answers requests from
per-list templates and redistributes postings over SMTP.

This package holds the Qt window: members, options, responses, posting by
hand and the global settings, with a tray icon and scans on a timer.")

include(CPack)
