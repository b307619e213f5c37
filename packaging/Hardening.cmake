# The hardening flags Debian builds its packages with, taken from
# dpkg-buildflags rather than copied, so they follow the distribution:
# fortify, stack protector, format checks, relro and bindnow (PIE is the
# compiler's default). Optimisation, debug info and file-name mapping stay the
# build type's business, so only the hardening part is asked for.
find_program(OSTROVEL_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT OSTROVEL_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "OSTROVEL_HARDEN needs dpkg-buildflags (Debian package dpkg-dev); "
                      "or configure with -DOSTROVEL_HARDEN=OFF")
endif()

function(ostrovel_buildflags kind out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env
            "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-fixfilepath,-fixdebugpath"
            "DEB_${kind}_MAINT_STRIP=-O2 -g"
            ${OSTROVEL_DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

ostrovel_buildflags(CPPFLAGS hardening_cppflags)
ostrovel_buildflags(CXXFLAGS hardening_cxxflags)
ostrovel_buildflags(LDFLAGS hardening_ldflags)
add_compile_options(${hardening_cppflags} ${hardening_cxxflags})
add_link_options(${hardening_ldflags})
message(STATUS "Hardening: ${hardening_cppflags} ${hardening_cxxflags} ${hardening_ldflags}")
