# The hardening a Debian package gets from dpkg-buildflags with hardening=+all (the stack
# protector, fortified calls, format checks, full RELRO with BIND_NOW), taken from
# dpkg-buildflags itself, so that the development build and the tests run what the packages
# ship. The packages' own build (debian/rules) gets the same flags from debhelper and turns
# this off. Optimisation and debug information stay with CMAKE_BUILD_TYPE.
option(ZUMALO_HARDENING "add the hardening flags of dpkg-buildflags (hardening=+all)" ON)
if(NOT ZUMALO_HARDENING)
  return()
endif()
find_program(ZUMALO_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

function(zumalo_buildflags name out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
      ${ZUMALO_DPKG_BUILDFLAGS} --get ${name}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-g$|^-O[0-9s]?$|^-ffile-prefix-map=")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

zumalo_buildflags(CPPFLAGS ZUMALO_HARDENING_CPPFLAGS)
zumalo_buildflags(CXXFLAGS ZUMALO_HARDENING_CXXFLAGS)
zumalo_buildflags(LDFLAGS ZUMALO_HARDENING_LDFLAGS)
# _FORTIFY_SOURCE needs the optimiser; a Debug build would only warn about it.
foreach(flag IN LISTS ZUMALO_HARDENING_CPPFLAGS)
  if(flag MATCHES "^-D_FORTIFY_SOURCE")
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
  else()
    add_compile_options(${flag})
  endif()
endforeach()
add_compile_options(${ZUMALO_HARDENING_CXXFLAGS})
add_link_options(${ZUMALO_HARDENING_LDFLAGS})
