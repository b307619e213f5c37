# A Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME ostrovel)
set(CPACK_PACKAGE_VENDOR "Ostrovel")
set(CPACK_PACKAGE_CONTACT "Ostrovel developers <ostrovel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fixed-size JPEG thumbnails from a folder of pictures")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrovel turns the pictures of a folder (JPEG, BMP, GIF, WMF) into thumbnails of one\nfixed size, written as JPEG files, with a preview window and a command-line export.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # ostrovel_1.0.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # the libraries, found by dpkg-shlibdeps
set(CPACK_STRIP_FILES ON)
# What the libraries do not say: Qt's image and platform plugins, and the
# fonts the metafile helper draws text with.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6gui6, fonts-dejavu-core, fonts-liberation2")
include(CPack)
