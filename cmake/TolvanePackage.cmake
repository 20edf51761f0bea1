# `make package`: one Debian package (CPack) with the programs, libvqrt.so.1, the plug-in,
# the SDK headers, the desktop entry with its icon and the manual pages. Tests and
# benchmarks have no install rules, so they never come along.
set(TOLVANE_MAINTAINER "Tolvane developers <tolvane@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "brings ICQ accounts over from an old Windows installation")
# The lines as the control file shows them (CPack does not wrap them).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "The ICQ importer plug-in finds the owners of a Windows ICQ client on a"
    "mounted Windows disk and writes an import record with the server settings,"
    "the owner's account, the contact list and the sound settings, carrying the"
    "sound files over. It comes with the command-line host tolvane-import, the"
    "desktop window tolvane, tolvane-icq, which exports an ICQ database's"
    "contacts and message history, and tolvane-mkwin, which builds sample"
    "Windows installations.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TOLVANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) declares the shared libraries the binaries link; what they use
# without linking is declared here: the system's time zone database, which the ICQ archive
# reads, and fonts for the dialogs' text where a desktop brings none.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tzdata")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
