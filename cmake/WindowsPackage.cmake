# What the Windows download holds: Quarrow.exe and getmail.exe (both
# static), a README for Windows users and the licences of the libraries
# built into getmail.exe. scripts/dist-windows.sh (make dist-windows) installs
# them into a folder "Quarrow" and makes the zip and the installer of it.

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
