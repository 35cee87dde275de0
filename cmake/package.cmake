# autorun-sim as a Debian package (cpack -G DEB in the host build):
# autorun-sim_<version>_<architecture>.deb with what `cmake --install`
# installs, the command and its manual page. Its dependencies are the shared
# libraries the command links, as dpkg-shlibdeps finds them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME autorun-sim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "autorun developers <autorun@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "plays a storage card's auto-run program on simulated Windows CE devices")
set(CPACK_PACKAGE_DESCRIPTION
    "autorun-sim runs a storage card's autorun.exe through a card's life on a simulated \
Windows CE device: the image itself in an emulated processor, and the card's own \
cabinet package installed and removed as the device's installer does. \
autorun-sim check judges a card on every kind of device, for a person or a \
release pipeline.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
