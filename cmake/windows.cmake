# The Windows product: the mingw-w64 cross build with Qt for Windows from the
# cache of scripts/qt-windows (unpacked or built there on the first
# configure) and the host's Qt tools (moc, rcc, uic) through QT_HOST_PATH.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
# Qt's DLLs use the mingw runtime DLLs; the programs share them rather than
# carrying a second, static copy (scripts/windows-deploy puts them beside).
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
get_filename_component(_qel_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
# ctest runs the Windows test programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${_qel_root}/scripts/wine-run)

# The toolchain file is read again for every try_compile: look the folders
# up once per cmake process.
if(NOT DEFINED ENV{QEL_QT_WINDOWS_DIR})
  foreach(_dep qt pugixml)
    execute_process(COMMAND ${_qel_root}/scripts/${_dep}-windows
                    OUTPUT_VARIABLE _out RESULT_VARIABLE _rc OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "scripts/${_dep}-windows failed (see above)")
    endif()
    string(REGEX REPLACE ".*\n" "" _out "${_out}")
    string(TOUPPER ${_dep} _up)
    set(ENV{QEL_${_up}_WINDOWS_DIR} "${_out}")
  endforeach()
endif()
set(QEL_QT_WINDOWS_DIR $ENV{QEL_QT_WINDOWS_DIR})
set(QEL_PUGIXML_WINDOWS_DIR $ENV{QEL_PUGIXML_WINDOWS_DIR})

list(APPEND CMAKE_FIND_ROOT_PATH ${QEL_QT_WINDOWS_DIR})
list(APPEND CMAKE_PREFIX_PATH ${QEL_QT_WINDOWS_DIR})
set(QT_HOST_PATH /usr)
# GCC 12 at -O2/-O3 reports a false overlap in std::string's inlined copies
# (GCC bug 105329) and std::optional values read after has_value() as maybe
# uninitialised; the other builds (-O0, sanitizers) keep both warnings.
string(APPEND CMAKE_CXX_FLAGS_INIT " -Wno-restrict -Wno-maybe-uninitialized")
