# The Debian package: CPack's DEB generator packs what `cmake --install` installs, from the
# build tree that `make build` already made, with Depends computed by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veskosd)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "veskosd developers")
set(CPACK_PACKAGE_CONTACT "veskosd maintainers <maintainers@users.noreply.c-seed-783b2a63.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "media buttons and on-screen display daemon for an all-in-one desktop")
# CPack puts the summary first and indents the rest as the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "veskosd turns the volume, brightness, panel and source buttons of an
all-in-one desktop computer into volume and brightness changes, a small
fading on-screen display, firmware calls, command frames to a display
controller on a serial line, program launches and power actions.

It runs as a systemd user service bound to the graphical session; udev
rules give the logged-in user its button devices.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# "gio open", which the user manager runs for a button that opens an address or a document.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libglib2.0-bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/deb/postinst ${PROJECT_SOURCE_DIR}/packaging/deb/postrm
    ${PROJECT_SOURCE_DIR}/packaging/deb/conffiles)
set(CPACK_STRIP_FILES ON)
# cpack installs with DESTDIR under this prefix, so install-time paths (the unit's ExecStart,
# /etc for the autostart entry) are those of the installed system.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)

# Debian wants the packaging changelog compressed next to the copyright file.
set(VESKOSD_DEB_CHANGELOG ${PROJECT_BINARY_DIR}/deb-doc/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${VESKOSD_DEB_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/deb-doc
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/deb/changelog > ${VESKOSD_DEB_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/deb/changelog
  VERBATIM)
add_custom_target(veskosd_deb_changelog ALL DEPENDS ${VESKOSD_DEB_CHANGELOG})
install(FILES ${VESKOSD_DEB_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# What lintian reports wrongly of this package, each with its reason.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME veskosd)
