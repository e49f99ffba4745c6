# The Debian package: `cpack -G DEB` in a release build tree (scripts/package-deb.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME teravox2)
set(CPACK_PACKAGE_VENDOR "Brevik Rivozuriviz")
set(CPACK_PACKAGE_CONTACT "Brevik Rivozuriviz <support@brevik-instruments.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "design and upload resistivity measurement sequences")
# The synopsis above is the first line; this is the extended description after it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Teravox II designs the measurement sequences of multi-electrode resistivity
and induced-polarisation meters of the Varnel and Tarsk families: ordered
lists of quadripoles over a line of electrodes laid on multi-conductor cables.
It keeps them in sets, shows them as pseudo-section charts and tables, imports
and exports them, and uploads them into an instrument over a serial port, a
USB adapter or a telephone modem.
.
The package holds the desktop program teravox2, the command-line program
teravox2-cli, the user guide and demo data.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.brevik-instruments.example/")
set(CPACK_STRIP_FILES ON)
# The runtime dependencies are computed from the programs' shared libraries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugin at run time, out of the linker's sight: the desktop program cannot
# open a window without the xcb plugin, so that one package is named here.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
