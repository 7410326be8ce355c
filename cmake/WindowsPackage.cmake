# The Windows download: Quarrow-<version>-win64.zip with Quarrow.exe and
# getmail.exe (both static), a README for Windows users and the licences of
# the libraries built into getmail.exe. `cpack` in the Windows build folder
# (make dist-windows) makes it.

# The README with Windows line ends, for Notepad.
file(READ ${CMAKE_CURRENT_LIST_DIR}/../docs/windows/README.txt QUARROW_WINDOWS_README)
string(REPLACE "@QUARROW_VERSION@" "${PROJECT_VERSION}" QUARROW_WINDOWS_README
       "${QUARROW_WINDOWS_README}")
string(REPLACE "\n" "\r\n" QUARROW_WINDOWS_README "${QUARROW_WINDOWS_README}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${QUARROW_WINDOWS_README}")

install(TARGETS Quarrow getmail RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION .)
if(QUARROW_WIN_DEPS AND EXISTS ${QUARROW_WIN_DEPS}/share/licenses)
  install(DIRECTORY ${QUARROW_WIN_DEPS}/share/licenses/ DESTINATION licenses)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quarrow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Quarrow-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Without their debugging information: a fifth of the size.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
