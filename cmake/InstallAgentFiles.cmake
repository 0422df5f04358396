# Runs at install time, when the prefix is known (cmake --install --prefix, or cpack with
# /usr): the unit names the daemon and its configuration where this prefix puts them. A
# /usr install keeps its configuration under /etc. An existing configuration is kept.
string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(etc "/etc")
else()
  set(etc "${prefix}/etc")
endif()
set(VT_AGENTD "${prefix}/${VT_SBINDIR}/vtagentd")
set(VT_CONFIG "${etc}/vtagentd.conf")

set(unit "$ENV{DESTDIR}${prefix}/lib/systemd/system/vtagentd.service")
message(STATUS "Installing: ${unit}")
configure_file("${VT_UNIT_TEMPLATE}" "${unit}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${unit}")

if(EXISTS "$ENV{DESTDIR}${VT_CONFIG}")
  message(STATUS "Keeping: $ENV{DESTDIR}${VT_CONFIG}")
else()
  file(INSTALL "${VT_CONFIG_EXAMPLE}" DESTINATION "${etc}") # DESTDIR is added by file(INSTALL)
endif()
