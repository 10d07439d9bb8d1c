# Read by cpack for each package it makes: the .deb installs under /usr.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
# The tarball's files are installed into a staging folder of cpack's: the files that name their
# prefix name the configured one instead, where the tarball is meant to be unpacked (pkg-config's
# --define-prefix finds it anywhere else).
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(ENV{RAWOUT_NAMED_PREFIX} "${CPACK_RAWOUT_INSTALL_PREFIX}")
else()
  unset(ENV{RAWOUT_NAMED_PREFIX})
endif()
