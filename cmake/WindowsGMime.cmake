# Static GMime for the Windows build, from the prefix that
# scripts/build-windows-deps.sh makes; `make build-windows` passes it as
# QUARROW_WIN_DEPS. Defines the imported target quarrow::gmime_static when
# the prefix is given; without it, nothing (test with if(TARGET ...)).
include_guard(GLOBAL)

set(QUARROW_WIN_DEPS "" CACHE PATH
    "Prefix with static GMime for Windows, from scripts/build-windows-deps.sh")
if(NOT WIN32 OR NOT QUARROW_WIN_DEPS)
  return()
endif()

find_program(QUARROW_PKG_CONFIG NAMES pkg-config REQUIRED NO_CMAKE_FIND_ROOT_PATH)

# pkg-config of the build machine, looking only into the prefix.
function(quarrow_win_deps_pkg_config out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env
            PKG_CONFIG_LIBDIR=${QUARROW_WIN_DEPS}/lib/pkgconfig PKG_CONFIG_PATH=
            ${QUARROW_PKG_CONFIG} --static ${ARGN} gmime-3.0
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "No usable gmime-3.0 in ${QUARROW_WIN_DEPS}: "
                        "run scripts/build-windows-deps.sh")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

quarrow_win_deps_pkg_config(gmime_cflags --cflags)
quarrow_win_deps_pkg_config(gmime_libs --libs)

# Header folders become include directories (system ones, so that GLib's
# headers do not trip -Werror); libraries of the prefix are named by their
# full path, so nothing else on the machine stands in for them.
set(include_dirs)
set(compile_options)
foreach(flag IN LISTS gmime_cflags)
  if(flag MATCHES "^-I(.+)")
    get_filename_component(dir ${CMAKE_MATCH_1} ABSOLUTE)
    list(APPEND include_dirs ${dir})
  else()
    list(APPEND compile_options ${flag})
  endif()
endforeach()

set(lib_dirs)
set(libraries)
set(link_options -static)
foreach(flag IN LISTS gmime_libs)
  if(flag MATCHES "^-L(.+)")
    get_filename_component(dir ${CMAKE_MATCH_1} ABSOLUTE)
    list(APPEND lib_dirs ${dir})
  elseif(flag MATCHES "^-l(.+)")
    set(name ${CMAKE_MATCH_1})
    set(path "")
    foreach(dir IN LISTS lib_dirs)
      if(EXISTS ${dir}/lib${name}.a)
        set(path ${dir}/lib${name}.a)
        break()
      endif()
    endforeach()
    if(path)
      list(APPEND libraries ${path})
    else()
      list(APPEND libraries ${name})
    endif()
  else()
    list(APPEND link_options ${flag})
  endif()
endforeach()

add_library(quarrow::gmime_static INTERFACE IMPORTED GLOBAL)
set_target_properties(quarrow::gmime_static PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${include_dirs}"
  INTERFACE_COMPILE_OPTIONS "${compile_options}"
  INTERFACE_LINK_LIBRARIES "${libraries}"
  INTERFACE_LINK_OPTIONS "${link_options}")
message(STATUS "Static GMime for Windows: ${QUARROW_WIN_DEPS}")
