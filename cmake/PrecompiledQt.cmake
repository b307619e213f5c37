# Parsing Qt's headers is most of the compile time of our Qt-heavy sources,
# above all of the tests. Two precompiled headers, each built once per build
# folder by an object library of its own, are reused by the targets that link
# the Qt module they stand for: ostrovel_pch_gui (the standard library, QtCore
# and QtGui) and ostrovel_pch_widgets (the same and QtWidgets). They only
# speed up the build: every source still includes what it uses.
#
# GCC takes a precompiled header only with the macros it was made with, all
# of them defined alike, and no macro of the header's names defined besides.
# So the owners get their definitions from the one Qt module they link; the
# consumers' own ones (QT_TESTCASE_SOURCEDIR differs per folder, hence no
# QtTest in here) are names Qt's module headers do not use. -Winvalid-pch
# (with OSTROVEL_WERROR an error) reports a header GCC would not take.
# A compiler cache cannot cache what reads a precompiled header (ccache would
# need its sloppiness set for it), so with a compiler launcher the default is
# off: cached rebuilds are faster still.
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(pch_default OFF)
else()
  set(pch_default ON)
endif()
option(OSTROVEL_PCH "Compile with precompiled Qt headers" ${pch_default})

set(ostrovel_pch_gui_headers
  <algorithm> <array> <atomic> <chrono> <cmath> <cstdint> <cstring> <functional>
  <memory> <optional> <thread> <vector>
  <QBuffer> <QByteArray> <QCoreApplication> <QDir> <QElapsedTimer> <QFile>
  <QFileInfo> <QList> <QObject> <QPointer> <QProcess> <QRect> <QSize> <QString>
  <QStringList> <QTemporaryDir> <QThread> <QTimer> <QtEndian>
  <QColor> <QColorSpace> <QGuiApplication> <QImage> <QImageReader> <QPainter>)
set(ostrovel_pch_widgets_headers ${ostrovel_pch_gui_headers}
  <QApplication> <QFileSystemModel> <QKeyEvent> <QLabel> <QLineEdit> <QMessageBox>
  <QPushButton> <QSortFilterProxyModel> <QStyle> <QTreeView> <QWidget>)

if(OSTROVEL_PCH)
  foreach(level gui widgets)
    add_library(ostrovel_pch_${level} OBJECT ${CMAKE_CURRENT_LIST_DIR}/PrecompiledQt.cpp)
    target_precompile_headers(ostrovel_pch_${level} PRIVATE ${ostrovel_pch_${level}_headers})
  endforeach()
  target_link_libraries(ostrovel_pch_gui PRIVATE Qt6::Gui)
  target_link_libraries(ostrovel_pch_widgets PRIVATE Qt6::Widgets)
endif()

# Whether a target with these link libraries compiles against QtWidgets
# ("widgets"), QtGui ("gui") or neither (""): the Qt modules among them and
# among what they pass on to whoever links them.
function(ostrovel_qt_level out)
  set(level "")
  set(queue ${ARGN})
  set(seen)
  while(queue)
    list(POP_FRONT queue lib)
    if(lib IN_LIST seen OR lib MATCHES "^\\$<")
      continue()
    endif()
    list(APPEND seen ${lib})
    if(lib MATCHES "^Qt6?::Widgets$")
      set(level widgets)
      break()
    elseif(lib MATCHES "^Qt6?::Gui$")
      set(level gui)
    elseif(TARGET ${lib})
      get_target_property(passed ${lib} INTERFACE_LINK_LIBRARIES)
      if(passed)
        list(APPEND queue ${passed})
      endif()
    endif()
  endwhile()
  set(${out} ${level} PARENT_SCOPE)
endfunction()

# ostrovel_precompile_qt(target...): each target reuses the precompiled header
# of its Qt level; call it after its target_link_libraries. An empty
# mocs_compilation.cpp (the tests include their moc output themselves) would
# only pay for loading the header: SKIP_MOCS leaves it without.
function(ostrovel_precompile_qt)
  cmake_parse_arguments(P "SKIP_MOCS" "" "" ${ARGN})
  if(NOT OSTROVEL_PCH)
    return()
  endif()
  foreach(target ${P_UNPARSED_ARGUMENTS})
    get_target_property(libs ${target} LINK_LIBRARIES)
    ostrovel_qt_level(level ${libs})
    if(level)
      target_precompile_headers(${target} REUSE_FROM ostrovel_pch_${level})
      if(P_SKIP_MOCS)
        set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/mocs_compilation.cpp
          PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
      endif()
    endif()
  endforeach()
endfunction()

# ostrovel_precompile_qt_below(dir): the same for every library and program in
# dir and its subfolders that has no precompiled header yet.
function(ostrovel_precompile_qt_below dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    get_target_property(reused ${target} PRECOMPILE_HEADERS_REUSE_FROM)
    if(type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$" AND NOT reused)
      ostrovel_precompile_qt(${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    ostrovel_precompile_qt_below(${subdir})
  endforeach()
endfunction()
