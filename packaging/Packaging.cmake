# A Debian package: cpack -G DEB in the build folder. lintian checks it
# (tests/packaging).
include(GNUInstallDirs)

# Whoever publishes the package puts their own name and address here; the
# default is a placeholder that is valid in form (lintian takes it) but
# reaches nobody.
set(OSTROVEL_MAINTAINER "Ostrovel developers <maintainer@ostrovel.invalid>"
    CACHE STRING "The package's Maintainer field: Name <address>")
set(OSTROVEL_APPSTREAM_ID io.github.ostrovel.ostrovel)

set(CPACK_PACKAGE_NAME ostrovel)
set(CPACK_PACKAGE_VENDOR "The Ostrovel developers")
set(CPACK_PACKAGE_CONTACT "${OSTROVEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OSTROVEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fixed-size JPEG thumbnails from a folder of pictures")
# Within 80 columns a line, as Debian's tools show it.
set(CPACK_PACKAGE_DESCRIPTION [[
Ostrovel turns the pictures of a folder (JPEG, BMP, GIF, WMF) into
thumbnails of one fixed size, written as JPEG files. A window (in German)
previews each picture fitted into the chosen size on the chosen background
colour; ostrovel-batch writes the same files from the command line.]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # ostrovel_1.0.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # the libraries, found by dpkg-shlibdeps
# What the libraries do not say: Qt's image and platform plugins, and the
# fonts the metafile helper draws text with.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6gui6, fonts-dejavu-core, fonts-liberation2, qt6-translations-l10n")
# Stripped as Debian strips (dh_strip): the debug info and symbols at install,
# then the .comment and .note sections the compiler and linker leave.
set(CPACK_STRIP_FILES ON)
set(CPACK_OSTROVEL_STRIP "${CMAKE_STRIP}")
set(CPACK_OSTROVEL_BINARIES
    ${CMAKE_INSTALL_BINDIR}/ostrovel ${CMAKE_INSTALL_BINDIR}/ostrovel-batch libexec/ostrovel/ostrovel-wmf)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/RemoveSections.cmake)
include(CPack)

# Files of the package besides the programs: man pages and changelog
# compressed as Debian wants them (gzip -9n: no name, no time stamp).
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${packaging_out}/changelog @ONLY)
set(gz_files)
foreach(source ${PROJECT_SOURCE_DIR}/doc/ostrovel.1 ${PROJECT_SOURCE_DIR}/doc/ostrovel-batch.1
               ${packaging_out}/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${packaging_out}/${name}.gz
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${source} ${packaging_out}/${name}.gz
    DEPENDS ${source} VERBATIM)
  list(APPEND gz_files ${packaging_out}/${name}.gz)
endforeach()
add_custom_target(ostrovel-package-files ALL DEPENDS ${gz_files})

install(FILES ${packaging_out}/ostrovel.1.gz ${packaging_out}/ostrovel-batch.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${packaging_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ostrovel)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${OSTROVEL_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/ostrovel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
