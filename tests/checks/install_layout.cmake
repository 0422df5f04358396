# Installs into a scratch prefix and checks that the program, the desktop entry and the
# icon land where desktops look for them, and the agent, its unit and its configuration
# where systemd and the unit look for them.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/vtserver bin/vtctl bin/vtagent share/applications/vtserver.desktop
          share/icons/hicolor/scalable/apps/vtserver.svg
          sbin/vtagentd lib/systemd/system/vtagentd.service etc/vtagentd.conf)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
endforeach()
file(READ "${PREFIX}/share/applications/vtserver.desktop" desktop)
if(NOT desktop MATCHES "Exec=vtserver" OR NOT desktop MATCHES "Icon=vtserver")
  message(FATAL_ERROR "desktop entry does not name the program and its icon")
endif()
file(READ "${PREFIX}/lib/systemd/system/vtagentd.service" unit)
string(FIND "${unit}" "ExecStart=${PREFIX}/sbin/vtagentd --config ${PREFIX}/etc/vtagentd.conf\n" at)
if(at LESS 0)
  message(FATAL_ERROR "the unit does not start the installed agent with the installed configuration:\n${unit}")
endif()

# Installing again keeps a configuration the administrator has edited.
file(APPEND "${PREFIX}/etc/vtagentd.conf" "name = EDITED\n")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --component vtagentd
                RESULT_VARIABLE rc OUTPUT_QUIET)
file(READ "${PREFIX}/etc/vtagentd.conf" config)
if(NOT rc EQUAL 0 OR NOT config MATCHES "name = EDITED\n$")
  message(FATAL_ERROR "a second install replaced the edited configuration")
endif()
file(REMOVE_RECURSE "${PREFIX}")
