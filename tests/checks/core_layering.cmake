# The core library must stay free of widgets: nothing outside src/ui includes
# QtWidgets or QtGui.
file(GLOB_RECURSE core_files "${SRC}/model/*" "${SRC}/schedule/*" "${SRC}/net/*" "${SRC}/app/*")
set(offenders "")
foreach(f ${core_files})
  file(STRINGS "${f}" hits REGEX "#include[ \t]*<(QtWidgets|QtGui|QWidget|QApplication|QGuiApplication|QMessageBox|QIcon|QPixmap|QFont)")
  if(hits)
    list(APPEND offenders "${f}")
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "core files include GUI headers: ${offenders}")
endif()
