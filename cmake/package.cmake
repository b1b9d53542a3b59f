# The Debian package that `cpack -G DEB` makes from a Release build (scripts/package.sh):
# one package, peekdisk, with everything `cmake --install` puts under /usr.
set(CPACK_PACKAGE_NAME peekdisk)
set(CPACK_PACKAGE_VENDOR "the peekdisk authors")
set(CPACK_PACKAGE_CONTACT "peekdisk authors <peekdisk@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list, copy and mount disks of the Sharp X68000")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads disks formatted for the Sharp X68000 under Human68k, never writing
to them: SCSI hard disks and magneto-optical media in the X68000 SCSI
format, and raw image files of them (emulator .HDS images, SD-card images
of SCSI emulators, dd dumps).
 * peekdisk lists directories.
 * hauldisk copies files and whole trees out, with attributes and dates.
 * peekfs mounts a partition read-only through FUSE.
 * mkhds makes disk images from host folders.
Shift_JIS names are shown and copied as UTF-8 under a UTF-8 locale. A
failing disk is read around its bad sectors, which cost only what they
hold.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the libraries (libfuse3-3 among them); peekfs unmounts with
# fusermount3, which comes with fuse3.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fuse3)
# The package also holds the lintian overrides, which a plain `cmake --install` leaves out.
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME peekdisk COMPONENT debian EXCLUDE_FROM_ALL)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};peekdisk;ALL;/;${CMAKE_BINARY_DIR};peekdisk;debian;/")
include(CPack)
