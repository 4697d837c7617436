# `cpack -G DEB` in a build folder makes quelsor_<version>_<arch>.deb of what Install.cmake
# installs, under /usr. Library dependencies come from dpkg-shlibdeps (package dpkg-dev); the
# toolkit's plugins, which no binary links, are named here.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^quelsor \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog does not start with version ${PROJECT_VERSION}")
endif()

# The licence, by its SPDX identifier. A Debian package carries it in its machine-readable
# copyright file (the control file has no such field): that file must give the same.
set(QUELSOR_LICENSE_SPDX MIT)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/copyright copyright_licenses REGEX "^License: ")
if(NOT "License: ${QUELSOR_LICENSE_SPDX}" IN_LIST copyright_licenses)
  message(FATAL_ERROR "packaging/copyright does not give the licence ${QUELSOR_LICENSE_SPDX}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelsor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quelsor developers <quelsor-dev@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DTMF status requests to a remote device over an audio link")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Quelsor sends a DTMF command over a radio or telephone audio link, detects\n"
  "the DTMF answer with a bank of band-pass filters, decodes its bit fields\n"
  "with the layout and formulas of a configuration file and shows one named\n"
  "parameter per line. quelsor is the window; quelsor-cli runs the same core\n"
  "without it (command files, recordings, configuration checks).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE) # for the generators that show it
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET quelsor)
  # The window's platform plugin, and with the Qt Multimedia sound backend its decoding backend
  # (libpulse, for the PulseAudio one, comes from dpkg-shlibdeps).
  if(QUELSOR_SOUND_BACKEND STREQUAL "qt")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, gstreamer1.0-plugins-base")
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  endif()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
endif()
# The scripts that create the polling service's user, and the files under /etc.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/service/postinst
  ${PROJECT_SOURCE_DIR}/packaging/service/postrm ${PROJECT_SOURCE_DIR}/packaging/service/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
