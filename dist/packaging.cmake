# cpack -G DEB: a Debian package of everything `cmake --install` puts in place, under /usr. Its dependencies come
# from dpkg-shlibdeps: Debian 12 ships the X11 platform and the SVG icon engine in the libraries the program links.
set(CPACK_PACKAGE_NAME vemla)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_CONTACT "Korvane <support@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps libraries of MPEG audio tracks and plays them")
set(CPACK_PACKAGE_DESCRIPTION
    "Vemla keeps libraries of MPEG audio tracks (MP1, MP2, MP3) and plays them through a decoder of its own,\
 with a playlist, categories and memos. Media keys and the desktop's sound menu control it. Also\
 vemla-decode and vemla-library, the decoder and the library operations from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, adwaita-icon-theme")
include(CPack)
