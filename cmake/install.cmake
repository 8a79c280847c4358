# Desktop integration and the Debian package. The program and inkwerk.rtf are installed
# by src/; this adds the launcher entry, the icon and the man page, and sets up CPack.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/data/inkwerk.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/inkwerk.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/inkwerk.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME inkwerk)
set(CPACK_PACKAGE_VENDOR "Inkwerk")
set(CPACK_PACKAGE_CONTACT "Inkwerk developers <inkwerk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Stamps date, time and an extra text into photographs")
set(CPACK_PACKAGE_DESCRIPTION
    "Inkwerk stamps one line of text (the photo's date, date and time, and/or a free extra\n text) into photographs, in batches, with a preview and a command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_LICENSE "GPL-3.0-or-later")
# The Debian packages of the libraries the program links and the fonts and plug-ins it
# needs at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins, qt6-translations-l10n, libjpeg62-turbo, libpng16-16, libtiff6, libgif7, libimagequant0, fonts-liberation2")
include(CPack)
