# Precompiled headers. Every tree (the plain build and the two sanitizer
# builds) compiles the same standard, Qt and GoogleTest headers in nearly
# every file; compiled once per kind and tree, they cost one file's time.
#
#   panora_pch(TARGET KIND)   KIND: std, qt, test or guitest
#
# The first target of a kind compiles the header; the others reuse it, which
# needs the same compiler options (definitions and include folders may
# differ): a header that does not fit is reported (-Winvalid-pch).
# -DPANORA_PCH=OFF builds without them.

set(PANORA_PCH_std
  <algorithm> <array> <atomic> <chrono> <cstdint> <cstdio> <cstdlib> <cstring> <filesystem>
  <fstream> <functional> <map> <memory> <mutex> <optional> <set> <sstream> <string>
  <string_view> <thread> <utility> <vector>)
set(PANORA_PCH_qt ${PANORA_PCH_std}
  <QAbstractButton> <QAccessible> <QAccessibleWidget> <QAction> <QApplication> <QButtonGroup>
  <QCheckBox> <QComboBox> <QCoreApplication> <QDialog> <QDialogButtonBox> <QDir> <QFileInfo>
  <QFrame> <QGridLayout> <QGroupBox> <QHBoxLayout> <QIcon> <QKeyEvent> <QLabel> <QLineEdit>
  <QListWidget> <QMainWindow> <QMenu> <QMenuBar> <QMouseEvent> <QObject> <QPainter> <QPixmap>
  <QPointer> <QPushButton> <QRadioButton> <QRegularExpressionValidator> <QSlider>
  <QSocketNotifier> <QStatusBar> <QString> <QStyle> <QTabBar> <QThread> <QTimer> <QToolBar>
  <QVBoxLayout> <QWidget>)
set(PANORA_PCH_test ${PANORA_PCH_std} <gtest/gtest.h>)
set(PANORA_PCH_guitest ${PANORA_PCH_qt} <gtest/gtest.h> <QTest> <QElapsedTimer>)

# ccache caches a file compiled with a precompiled header only when told
# that the macros around the header and __TIME__ do not matter here.
if(PANORA_PCH AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache$")
  set(CMAKE_CXX_COMPILER_LAUNCHER
    env CCACHE_SLOPPINESS=pch_defines,time_macros ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

function(panora_pch target kind)
  if(NOT PANORA_PCH)
    return()
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # From a precompiled header GCC 12 no longer takes the standard library's
    # inlined string copies for system code, and warns of out-of-bounds
    # copies that are not there, depending on string lengths such as the build
    # folder's path. They stay warnings; the sanitizer builds check for real.
    target_compile_options(${target} PRIVATE
      $<$<COMPILE_LANGUAGE:CXX>:-Wno-error=array-bounds -Wno-error=stringop-overflow>)
  endif()
  get_property(donor GLOBAL PROPERTY PANORA_PCH_DONOR_${kind})
  if(donor)
    target_precompile_headers(${target} REUSE_FROM ${donor})
  else()
    target_precompile_headers(${target} PRIVATE ${PANORA_PCH_${kind}})
    set_property(GLOBAL PROPERTY PANORA_PCH_DONOR_${kind} ${target})
  endif()
endfunction()
