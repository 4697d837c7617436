# `cpack -G NSIS` in a Windows build folder with the window makes quelsor-<version>-win64.exe
# (Debian's nsis package gives makensis): an installer of what Install.cmake installs, with a
# Start-menu entry for the window and an uninstaller. An administrator installs it for every user
# under Program Files; a user without administrator rights installs it for themselves under
# %LOCALAPPDATA%\Programs, with their own Start-menu entry, as Windows programs do.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Quelsor)
set(CPACK_PACKAGE_VENDOR Quelsor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME quelsor-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quelsor)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Quelsor)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DTMF status requests to a remote device over an audio link")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_EXECUTABLES quelsor Quelsor)
set(CPACK_NSIS_DISPLAY_NAME Quelsor)
set(CPACK_NSIS_PACKAGE_NAME Quelsor) # also the Start-menu folder
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\quelsor.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_STRIP_FILES ON)
# A 64-bit installer (Debian's nsis has the amd64 stubs), which installs into the 64-bit
# Program Files and registry view, and runs where no 32-bit support is (Wine's wine64 alone).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")

# CPack's own installer script, with two changes: it runs with the rights the user has
# ("highest": an administrator is asked to confirm, another user is not asked for a password
# they do not have), and a user's own copy goes to %LOCALAPPDATA%\Programs instead of their
# Documents folder. The script already installs for every user or for one by those rights.
set(template ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in)
file(READ ${template} script)
foreach(change
    "RequestExecutionLevel admin|RequestExecutionLevel highest"
    "$DOCUMENTS\\@CPACK_PACKAGE_INSTALL_DIRECTORY@|$LOCALAPPDATA\\Programs\\@CPACK_PACKAGE_INSTALL_DIRECTORY@")
  string(REPLACE "|" ";" change "${change}")
  list(GET change 0 from)
  list(GET change 1 to)
  string(FIND "${script}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${template} has no \"${from}\" any more: see cmake/PackagingWindows.cmake")
  endif()
  string(REPLACE "${from}" "${to}" script "${script}")
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/nsis/NSIS.template.in "${script}")
set(CPACK_MODULE_PATH ${PROJECT_BINARY_DIR}/nsis ${CMAKE_MODULE_PATH})
include(CPack)
