# What `cmake --install` puts where, and the Debian package made from it (cpack -G DEB).
# The backend modules and veskosd-hid-match with its udev rule have their install() lines
# next to their targets.
include(GNUInstallDirs)

install(TARGETS veskosd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The man page, from its Markdown source.
if(VESKOSD_MAN)
  find_program(LOWDOWN lowdown REQUIRED)
  set(VESKOSD_MAN_DIR ${PROJECT_BINARY_DIR}/man)
  add_custom_command(
    OUTPUT ${VESKOSD_MAN_DIR}/man1/veskosd.1 ${VESKOSD_MAN_DIR}/veskosd.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VESKOSD_MAN_DIR}/man1
    COMMAND ${LOWDOWN} -s -Tman --out-no-smarty --parse-no-intraemph
            -o ${VESKOSD_MAN_DIR}/man1/veskosd.1 ${PROJECT_SOURCE_DIR}/docs/veskosd.1.md
    COMMAND gzip -9n -c ${VESKOSD_MAN_DIR}/man1/veskosd.1 > ${VESKOSD_MAN_DIR}/veskosd.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/veskosd.1.md
    VERBATIM)
  add_custom_target(veskosd_man ALL DEPENDS ${VESKOSD_MAN_DIR}/veskosd.1.gz)
  install(FILES ${VESKOSD_MAN_DIR}/veskosd.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(VESKOSD_DATA ${PROJECT_SOURCE_DIR}/data)
install(FILES ${VESKOSD_DATA}/completions/veskosd.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME veskosd)
install(FILES ${VESKOSD_DATA}/completions/_veskosd
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/configuration.md
              ${PROJECT_SOURCE_DIR}/docs/control-socket.md ${PROJECT_SOURCE_DIR}/docs/firmware.md
              ${PROJECT_SOURCE_DIR}/docs/hid.md ${PROJECT_SOURCE_DIR}/docs/simulated-machine.md
              ${PROJECT_SOURCE_DIR}/docs/architecture.md ${PROJECT_SOURCE_DIR}/docs/power.md
              ${PROJECT_SOURCE_DIR}/packaging/deb/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${VESKOSD_DATA}/examples/QZConfiguration.xml
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The unit and the autostart entry name the binary by its installed path, and the autostart
# entry goes to /etc when the prefix is /usr: both are known only at install time
# (`cmake --install --prefix`, cpack), so they are made then.
install(CODE "
  set(veskosd_bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(veskosd_sysconfdir /etc)
  else()
    set(veskosd_sysconfdir \"\${CMAKE_INSTALL_PREFIX}/etc\")
  endif()
  set(veskosd_staged \"${PROJECT_BINARY_DIR}/installed\${veskosd_bindir}\")
  file(READ \"${VESKOSD_DATA}/systemd/veskosd.service.in\" text)
  string(REPLACE \"@VESKOSD_BINDIR@\" \"\${veskosd_bindir}\" text \"\${text}\")
  file(WRITE \"\${veskosd_staged}/veskosd.service\" \"\${text}\")
  file(READ \"${VESKOSD_DATA}/autostart/veskosd.desktop.in\" text)
  string(REPLACE \"@VESKOSD_BINDIR@\" \"\${veskosd_bindir}\" text \"\${text}\")
  file(WRITE \"\${veskosd_staged}/veskosd.desktop\" \"\${text}\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\" TYPE FILE
       FILES \"\${veskosd_staged}/veskosd.service\")
  file(INSTALL DESTINATION \"\${veskosd_sysconfdir}/xdg/autostart\" TYPE FILE
       FILES \"\${veskosd_staged}/veskosd.desktop\")
")

include(${CMAKE_CURRENT_LIST_DIR}/deb.cmake)

if(VESKOSD_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/packaging ${PROJECT_BINARY_DIR}/tests/packaging)
endif()
