# The Windows build (cross-built with MinGW-w64, see cmake/toolchain-mingw-w64-*.cmake
# and tools/build-windows.sh): the program with its Win32 window and resources, the
# packages, and the tests that run under Wine. Included by the top-level CMakeLists.txt
# when WIN32, after the core and the generation library.

enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TAVRO_WINDOWS_ARCH win64)
else()
  set(TAVRO_WINDOWS_ARCH win32)
endif()

# ---------------------------------------------------------------- the core's Windows parts

# zlib decodes gzip answers where WinHTTP does not; linked in, like everything else.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
target_sources(shopping_core PRIVATE
  src/base/utf16_win.cpp)
target_link_libraries(shopping_core PUBLIC winhttp ZLIB::ZLIB)
# The program prints with MinGW's C99 printf (__USE_MINGW_ANSI_STDIO), but GCC checks a
# format(printf) attribute against the Microsoft dialect, which has no %zu: the
# formats of reportFailure are checked as the GNU dialect they are printed with.
target_compile_definitions(shopping_core PUBLIC REPORT_FORMAT_ARCHETYPE=gnu_printf)

# ---------------------------------------------------------------- the window layer

add_library(shopping_ui_win STATIC
  src/ui/win/main_dialog.cpp
  src/ui/win/window_system.cpp
  src/ui/window_module.cpp
)
target_link_libraries(shopping_ui_win PUBLIC shopping_ui_core comctl32)
# The window layer is part of the program: its table's entry needs no export.
target_compile_definitions(shopping_ui_win PRIVATE WINDOW_LAYER_EXPORT=)

# The icon, drawn from the SVG at the sizes Windows asks for and packed into an .ico
# (with BUILD_PACKAGING: rsvg-convert draws it; without, the program has none).
set(TAVRO_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
if(BUILD_PACKAGING)
  require_packaging_tool(RSVG_CONVERT rsvg-convert
    "rsvg-convert (Debian package librsvg2-bin) draws the program's icon; tools/build-windows.sh installs it")
  set(TAVRO_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/org.tavro.ShoppingList.svg)
  set(TAVRO_ICON ${TAVRO_RESOURCE_DIR}/shopping-list.ico)
  set(icon_pictures)
  foreach(size 16 20 24 32 40 48 64 256)
    set(picture ${TAVRO_RESOURCE_DIR}/icon-${size}.png)
    list(APPEND icon_pictures ${picture})
    add_custom_command(
      OUTPUT ${picture}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVRO_RESOURCE_DIR}
      COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --keep-aspect-ratio
              --output=${picture} ${TAVRO_ICON_SVG}
      DEPENDS ${TAVRO_ICON_SVG}
      VERBATIM)
  endforeach()
  add_custom_command(
    OUTPUT ${TAVRO_ICON}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/make_icon.py ${TAVRO_ICON} ${icon_pictures}
    DEPENDS ${icon_pictures} ${PROJECT_SOURCE_DIR}/tools/make_icon.py
    COMMENT "Packing the program's icon"
    VERBATIM)
  add_custom_target(shopping-list-icon DEPENDS ${TAVRO_ICON})
endif()

# ---------------------------------------------------------------- the program

# A window program (-mwindows): started from a console it writes there, else it
# shows the dialog (shell/console_attach_win.cpp). wmain takes the arguments in UTF-16.
add_executable(shopping-list WIN32
  src/shell/main_win.cpp
  src/shell/startup.cpp
  src/shell/console_attach_win.cpp
  src/shell/window_layer.cpp
  src/shell/window_layer_win.cpp
  src/ui/win/shopping_list.rc
)
target_link_libraries(shopping-list PRIVATE shopping_ui_win shopping_core)
# No link time in the PE header, so that every build of the same sources gives the same file.
target_link_options(shopping-list PRIVATE -municode LINKER:--no-insert-timestamp)
# The resource script finds its manifest beside it and the icon in the build folder.
target_include_directories(shopping-list PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/src/ui/win ${TAVRO_RESOURCE_DIR})
set_source_files_properties(src/ui/win/shopping_list.rc PROPERTIES OBJECT_DEPENDS
  "${PROJECT_SOURCE_DIR}/src/ui/win/shopping-list.manifest;${PROJECT_SOURCE_DIR}/src/ui/dialog_template.h")
if(BUILD_PACKAGING)
  set_property(SOURCE src/ui/win/shopping_list.rc APPEND PROPERTY OBJECT_DEPENDS ${TAVRO_ICON})
  add_dependencies(shopping-list shopping-list-icon)
else()
  set_source_files_properties(src/ui/win/shopping_list.rc PROPERTIES COMPILE_DEFINITIONS TAVRO_WITHOUT_ICON)
endif()

# The version resource's numbers and texts, for the resource script; the publisher is
# also the installer's.
set(TAVRO_PUBLISHER "The TAVRO Shopping List Generator developers")
set(version_numbers)
foreach(part MAJOR MINOR PATCH TWEAK)
  math(EXPR number "0${PROJECT_VERSION_${part}}")   # 0 for a part that 0.7 leaves out
  list(APPEND version_numbers ${number})
endforeach()
list(JOIN version_numbers "," version_commas)
list(JOIN version_numbers "." version_dots)
file(CONFIGURE OUTPUT ${TAVRO_RESOURCE_DIR}/version_info.h CONTENT [[
// Written by cmake/Windows.cmake from the project's version: the version resource's values.
#define TAVRO_VERSION_NUMBERS @version_commas@
#define TAVRO_VERSION_TEXT "@version_dots@"
#define TAVRO_PRODUCT_NAME "TAVRO Shopping List Generator"
#define TAVRO_PUBLISHER "@TAVRO_PUBLISHER@"
#define TAVRO_COPYRIGHT "Copyright (c) 2026 @TAVRO_PUBLISHER@"
]] @ONLY)
set_property(SOURCE src/ui/win/shopping_list.rc APPEND PROPERTY OBJECT_DEPENDS ${TAVRO_RESOURCE_DIR}/version_info.h)

# ---------------------------------------------------------------- packages
#
#   (cd build-win64 && cpack -G ZIP)    tavro-shopping-list-<version>-win64.zip
#   (cd build-win64 && cpack -G NSIS)   tavro-shopping-list-<version>-win64.exe, an installer
#                                       for the user alone, into %LOCALAPPDATA%\TAVRO Shopping List
#
# Both hold the program, an empty cache folder beside it (the program's working
# folder when started from the Start menu), the README and the licence. In build-win32
# the same commands make the -win32 packages. The zips' members carry the sources' date
# (CPACK_PROJECT_CONFIG_FILE, cmake/Reproducible.cmake), so every build gives the same zip.
# Made with BUILD_PACKAGING only, where the program has its icon.

if(BUILD_PACKAGING)
  install(TARGETS shopping-list RUNTIME DESTINATION .)
  install(DIRECTORY DESTINATION cache)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

  set(CPACK_PACKAGE_NAME tavro-shopping-list)
  set(CPACK_PACKAGE_VENDOR ${TAVRO_PUBLISHER})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Crafting shopping-list generator for the CorvaneDB item database")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME tavro-shopping-list-${PROJECT_VERSION}-${TAVRO_WINDOWS_ARCH})
  set(CPACK_GENERATOR "ZIP;NSIS")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "TAVRO Shopping List")
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "TavroShoppingList")
  set(CPACK_PACKAGE_EXECUTABLES "shopping-list;TAVRO Shopping List Generator")
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
  set(CPACK_NSIS_PACKAGE_NAME "TAVRO Shopping List Generator")
  set(CPACK_NSIS_DISPLAY_NAME "TAVRO Shopping List Generator")
  set(CPACK_NSIS_INSTALLED_ICON_NAME "shopping-list.exe")
  set(CPACK_NSIS_MUI_ICON ${TAVRO_ICON})
  set(CPACK_NSIS_MUI_UNIICON ${TAVRO_ICON})
  set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA")
  set(CPACK_STRIP_FILES ON)
  # The installer's own stub matches the program: a 64-bit Windows (and Wine's 64-bit
  # loader) runs a 64-bit installer.
  if(TAVRO_WINDOWS_ARCH STREQUAL win64)
    set(CPACK_NSIS_TARGET "amd64-unicode")
  else()
    set(CPACK_NSIS_TARGET "x86-unicode")
  endif()
  # cmake/NSIS.template.in: a per-user installer (see there).
  list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake)
  include(CPack)
endif()

# ---------------------------------------------------------------- tests

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests/windows)
endif()
