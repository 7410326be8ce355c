# Windows resolves a program's static imports before its first line runs,
# and for a DLL that is not one of the system's KnownDLLs it looks in the
# program's folder (and, on older systems, the current folder) first. Our
# current folder is the mail folder, which others may write to. So every
# such system DLL is delay-loaded: its first call loads it, after the
# program has narrowed the DLL search to System32.
#
# For each import library of QUARROW_DELAY_LOADED_LIBS this makes a
# delay-import library of the same name from mingw-w64's own (its exports,
# named by nm; its DLL, named by dlltool --identify), in one folder.
# quarrow_delay_load_system_dlls(target) puts that folder first in the
# target's library search, so "-lbcrypt" from anywhere on its link line,
# static libraries' pkg-config flags too, links the delay-loaded form.
# A data export cannot be delay-loaded; it is left out, so a use of one
# fails the link instead of reading a thunk.
include_guard(GLOBAL)

if(NOT WIN32)
  return()
endif()

# System DLLs outside the KnownDLLs of Windows 7 to 11 that the programs or
# their static libraries may link. KnownDLLs (kernel32, user32, gdi32,
# advapi32, ole32, shell32, shlwapi, ws2_32, imm32, msvcrt, ...) always come
# from System32 and stay ordinary imports.
set(QUARROW_DELAY_LOADED_LIBS
  bcrypt comctl32 crypt32 dnsapi dwmapi iphlpapi ncrypt secur32 userenv
  uxtheme version winhttp winmm wintrust)

if(NOT CMAKE_DLLTOOL OR NOT CMAKE_NM)
  message(FATAL_ERROR "The delay-loaded system DLLs need mingw-w64's dlltool and nm "
                      "(binutils-mingw-w64-x86-64)")
endif()

set(QUARROW_DELAY_LIB_DIR ${CMAKE_BINARY_DIR}/delay-load)
file(MAKE_DIRECTORY ${QUARROW_DELAY_LIB_DIR})
set(QUARROW_DELAY_LIBS)

foreach(lib IN LISTS QUARROW_DELAY_LOADED_LIBS)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${lib}.a
                  OUTPUT_VARIABLE import_lib OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${import_lib}" OR NOT EXISTS "${import_lib}")
    message(STATUS "No import library lib${lib}.a: ${lib} is not delay-loaded")
    continue()
  endif()
  execute_process(COMMAND ${CMAKE_DLLTOOL} --identify ${import_lib}
                  OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT dll MATCHES "^[A-Za-z0-9_.-]+$")
    message(FATAL_ERROR "dlltool cannot name the DLL of ${import_lib}: ${dll}")
  endif()
  # A function export has a thunk ("T") beside its "__imp_" pointer.
  execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${import_lib}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm cannot read ${import_lib}")
  endif()
  string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" thunks "${symbols}")
  list(TRANSFORM thunks REPLACE "^[0-9a-fA-F]+ T " "")
  list(REMOVE_DUPLICATES thunks)
  list(SORT thunks)
  if(NOT thunks)
    message(FATAL_ERROR "No function exports in ${import_lib}")
  endif()
  list(JOIN thunks "\n" exports)
  set(def "LIBRARY ${dll}\nEXPORTS\n${exports}\n")

  # Made again only when the exports change.
  set(def_file ${QUARROW_DELAY_LIB_DIR}/${lib}.def)
  set(delay_lib ${QUARROW_DELAY_LIB_DIR}/lib${lib}.a)
  set(old_def "")
  if(EXISTS ${def_file})
    file(READ ${def_file} old_def)
  endif()
  if(NOT old_def STREQUAL def OR NOT EXISTS ${delay_lib})
    file(WRITE ${def_file} "${def}")
    file(REMOVE ${delay_lib})
    execute_process(
      COMMAND ${CMAKE_DLLTOOL} --input-def ${def_file} --dllname ${dll}
              --output-delaylib ${delay_lib}
      RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dlltool cannot make ${delay_lib}: ${errors}")
    endif()
  endif()
  list(APPEND QUARROW_DELAY_LIBS ${delay_lib})
endforeach()

# The target links the system DLLs above delay-loaded. Its program must
# call SetDefaultDllDirectories before its first use of any of them.
function(quarrow_delay_load_system_dlls target)
  target_link_directories(${target} BEFORE PRIVATE ${QUARROW_DELAY_LIB_DIR})
  # __delayLoadHelper2 is in mingw-w64's libmingwex, linked by default.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QUARROW_DELAY_LIBS})
endfunction()
