# The Debian package (`make package`: the release preset's build, then cpack in it). Its
# version is the project's; its dependencies are read from the programs by dpkg-shlibdeps, so
# they follow the Qt and C++ libraries the build really links. Debian's own file triggers
# (shared-mime-info, desktop-file-utils, hicolor-icon-theme, man-db) bring the file type, the
# menu entry, the icons and the manual pages in after an install; the one maintainer script,
# postinst, makes the collection service's system user.
set(QUILO_PACKAGE_MAINTAINER "Quilo ReadOut developers <quilo-readout@example.invalid>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quilo-readout)
set(CPACK_PACKAGE_VENDOR "Quilo ReadOut")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read-out tool for the Quilo metering unit")
set(CPACK_PACKAGE_CONTACT ${QUILO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUILO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's SVG icons are drawn by Qt's SVG plugins, which it loads at run time: the linker
# drops the library from the program, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, adduser")
# quilo serve: its HTTP server and its password hashes (dpkg-shlibdeps finds them too; named here
# so that a change of how they are linked cannot drop them)
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libcpp-httplib0.11, libsodium23")
# the collection service's user (postinst) and its list of units, kept over upgrades
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/collect/postinst ${CMAKE_CURRENT_LIST_DIR}/collect/conffiles)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The summary becomes the first line; CPack indents these lines and turns the empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Reads the money counters, logs, clock, configuration and key table of a
Quilo unit, the metering unit of a coin-operated gaming machine, over
RS-232; sets the unit's clock and writes single keys.

quilo-readout is the window, quilo the command line (tables, CSV, JSON)
and quilo-sim a simulated unit on a pseudo-terminal.")

include(CPack)
