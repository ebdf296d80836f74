# The Debian package tarvel_<version>_<arch>.deb, made by cpack from the
# install rules (cmake/Install.cmake); scripts/package.sh builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tarvel developers <tarvel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the libraries the programs link, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert film-strip scans into AVI videos")
set(CPACK_PACKAGE_DESCRIPTION "\
Three console programs that turn a folder of TIFF scans of motion-picture
film strip into a video. Each crops the strip out of every scan, finds the
picture frames from intensity profiles, scales them to 640 x 480 and
appends them to an AVI at 25 frames per second, printing its measurements.
tarvel4 reads scans of four frames of a narrow strip; tarvel1m and tarvel1d
read scans of one frame of a wide strip. tarvel-make-scans writes synthetic
sample scans. MIT licence.")

include(CPack)
