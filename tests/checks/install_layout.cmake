# Installs into a scratch prefix and checks that the program, the desktop entry and the
# icon land where desktops look for them.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/vtserver bin/vtagent share/applications/vtserver.desktop
          share/icons/hicolor/scalable/apps/vtserver.svg)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
endforeach()
file(READ "${PREFIX}/share/applications/vtserver.desktop" desktop)
if(NOT desktop MATCHES "Exec=vtserver" OR NOT desktop MATCHES "Icon=vtserver")
  message(FATAL_ERROR "desktop entry does not name the program and its icon")
endif()
file(REMOVE_RECURSE "${PREFIX}")
