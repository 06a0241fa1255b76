# Precompiled headers for the unoptimised (sanitizer) builds.  Most of a
# library file's compile time there is spent parsing the same standard
# library (and, in the display, Qt) headers again; each library parses them
# once and every file of it reuses the parse.  Optimised builds parse them
# in every file: GCC 12 reports false array-bounds warnings in library code
# reached through a precompiled header at -O2.
#
# tapeloom_precompile_libraries(<target>...) gives each existing target the
# common header set; the display library gets its Qt headers as well.
set(TAPELOOM_COMMON_HEADERS
  <algorithm> <atomic> <chrono> <condition_variable> <cstdint> <cstring>
  <functional> <map> <memory> <mutex> <optional> <string> <thread>
  <unordered_map> <vector>)
set(TAPELOOM_QT_HEADERS
  <QAbstractButton> <QApplication> <QComboBox> <QImage> <QLineEdit>
  <QMessageBox> <QPainter> <QWidget>)

function(tapeloom_precompile_libraries)
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    return()
  endif()
  foreach(target IN LISTS ARGN)
    if(NOT TARGET ${target})
      continue()
    endif()
    target_precompile_headers(${target} PRIVATE ${TAPELOOM_COMMON_HEADERS})
    if(target STREQUAL "qtdisplay")
      target_precompile_headers(${target} PRIVATE ${TAPELOOM_QT_HEADERS})
    endif()
  endforeach()
endfunction()
