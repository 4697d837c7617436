# What `cmake --install` puts under the prefix:
#   bin/quelsor, bin/quelsor-cli
#   libexec/quelsor/quelsor-cli-sound                quelsor-cli's sound commands (not on Windows)
#   share/quelsor/quelsor.ini                        the sample configuration (the window copies it
#                                                    to the user's folder at its first start)
#   share/applications/quelsor.desktop, share/icons/hicolor/scalable/apps/quelsor.svg
#   share/man/man1/quelsor.1.gz, quelsor-cli.1.gz    made from the programs' --help at build time
#   share/doc/quelsor/copyright, changelog.gz
# and, installed under /usr only (the package), the polling service:
#   /lib/systemd/system/quelsor-poll@.service, /usr/lib/sysusers.d/quelsor.conf (its user),
#   /etc/logrotate.d/quelsor, /usr/share/quelsor/poll.conf (a sample of its options)
include(GNUInstallDirs)

install(TARGETS quelsor-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quelsor-cli-sound)
  # Where quelsor-cli looks for it, relative to its own folder (cli/CMakeLists.txt).
  install(TARGETS quelsor-cli-sound RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quelsor)
endif()
if(TARGET quelsor)
  install(TARGETS quelsor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/examples/quelsor.ini
  DESTINATION ${CMAKE_INSTALL_DATADIR}/quelsor)

if(UNIX AND NOT CMAKE_CROSSCOMPILING)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quelsor.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quelsor.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # Manual pages from the help texts of the programs just built.
  set(man_dir ${CMAKE_BINARY_DIR}/man)
  file(MAKE_DIRECTORY ${man_dir})
  set(man_pages)
  # quelsor-cli's page holds the sound commands' help, which quelsor-cli-sound prints.
  set(helper)
  if(TARGET quelsor-cli-sound)
    set(helper quelsor-cli-sound)
  endif()
  function(quelsor_man_page target summary)
    set(page ${man_dir}/${target}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${target}
        "-DSUMMARY=${summary}" -DVERSION=${PROJECT_VERSION} -DOUTPUT=${page} ${ARGN}
        -P ${PROJECT_SOURCE_DIR}/cmake/MakeManPage.cmake
      DEPENDS ${target} ${helper} ${PROJECT_SOURCE_DIR}/cmake/MakeManPage.cmake
      COMMENT "Writing the manual page of ${target}"
      VERBATIM)
    set(man_pages ${man_pages} ${page} PARENT_SCOPE)
  endfunction()
  if(TARGET quelsor)
    quelsor_man_page(quelsor-cli "the Quelsor core without a window" -DCOMMANDS=ON
      -DSEE_ALSO=quelsor)
    quelsor_man_page(quelsor "DTMF status requests to a remote device over an audio link"
      -DSEE_ALSO=quelsor-cli)
  else()
    quelsor_man_page(quelsor-cli "the Quelsor core without a window" -DCOMMANDS=ON)
  endif()
  add_custom_target(quelsor_man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The polling service names /usr/bin/quelsor-cli and places outside the prefix: it comes with
  # an installation under /usr, as the package's (file(INSTALL) puts DESTDIR before the folders).
  set(service_dir ${PROJECT_SOURCE_DIR}/packaging/service)
  install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      foreach(pair \"lib/systemd/system;quelsor-poll@.service;quelsor-poll@.service\"
          \"usr/lib/sysusers.d;quelsor.sysusers;quelsor.conf\"
          \"etc/logrotate.d;quelsor.logrotate;quelsor\" \"usr/share/quelsor;poll.conf;poll.conf\")
        list(GET pair 0 folder)
        list(GET pair 1 source)
        list(GET pair 2 name)
        file(INSTALL DESTINATION \"/\${folder}\" TYPE FILE RENAME \"\${name}\"
          FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
          FILES \"${service_dir}/\${source}\")
      endforeach()
    endif()")

  # The package's documentation folder.
  set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
  add_custom_target(quelsor_changelog ALL DEPENDS ${changelog})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelsor)
endif()

# On Windows, with the window: the Qt DLLs and plugins it loads, and the MinGW runtime DLLs that
# Qt's DLLs link (the programs themselves are linked statically), beside the programs in bin/.
# The platform plugin goes to bin/platforms, where Qt looks for it beside the executable.
if(WIN32 AND TARGET quelsor)
  get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
  get_filename_component(qt_bin ${qt_core_dll} DIRECTORY)
  get_filename_component(qt_prefix ${qt_bin} DIRECTORY)
  install(FILES ${qt_bin}/Qt6Core.dll ${qt_bin}/Qt6Gui.dll ${qt_bin}/Qt6Widgets.dll
    DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${qt_prefix}/plugins/platforms/qwindows.dll
    DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
  install(FILES ${qt_prefix}/plugins/styles/qwindowsvistastyle.dll
    DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
  foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
      OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}")
      # libwinpthread's DLL is not in the compiler's own folders.
      set(runtime_path /usr/${QUELSOR_MINGW_PREFIX}/lib/${runtime})
    endif()
    install(FILES ${runtime_path} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelsor)
endif()
