# make package: a Debian package of everything cmake --install installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavrel developers")
set(CPACK_PACKAGE_CONTACT "Tavrel developers <dev@tavrel.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image floppy diskettes to files and back")
# Debian shows the description as it is: lines wrapped here, a blank line between paragraphs.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tavrel reads every track of a 360 KB, 720 KB, 1.2 MB or 1.44 MB PC diskette\n"
  "into an image file, optionally run-length compressed, writes such an image\n"
  "back onto a diskette, and compares an image with a diskette. The drive is a\n"
  "legacy floppy drive, a USB floppy drive or a raw image file.\n"
  "\n"
  "This package holds the dialog tavrel and the console tool tavrel-cli, which\n"
  "also inspects images, converts them to and from raw sector images and finds\n"
  "floppy drives, and tavrel-practice-drive, a drive whose reads of chosen\n"
  "sectors fail, to practise rescuing a failing diskette on.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TAVREL_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds the libraries the programs and the listing module link; libxml2, which
# tavrel-cli loads on first use (the DFXML, the pictures, the report), it cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libxml2")
# Without them a user who may not open the drive's device is simply refused: UDisks2 opens it
# on polkit's word, and polkitd's pkttyagent asks a terminal's user for the password. The
# practice drive mounts through fuse3's fusermount3, which lets a user mount without root.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2, polkitd, fuse3")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_SET_DESTDIR OFF)
include(CPack)
