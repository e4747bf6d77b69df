# Installation and the Debian package.
#
#   cmake --install build --prefix ~/.local     # into a prefix
#   (cd build && cpack -G DEB)                  # tavro-shopping-list_<version>_<arch>.deb
#
# Installs the program and, beside it, the launcher tavro-shopping-list, which
# makes the user's working folder (with its cache folder) and starts the
# program there; a desktop entry that runs the launcher; the icon (scalable,
# and a 48 px PNG drawn from it at build time); the manual pages of both
# commands (written for scdoc, turned into roff at build time); their bash
# completion; the AppStream data; the README, the copyright file (with the
# licence) and the changelog.
# The desktop entry's Exec line names the launcher by its absolute path, so it
# is written at install time, when the prefix is known.

# The fuzz build makes only the fuzz targets: nothing to install there.
if(BUILD_FUZZERS)
  return()
endif()

include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/Hardening.cmake)

set(TAVRO_PACKAGE_NAME tavro-shopping-list)
set(TAVRO_APP_ID org.tavro.ShoppingList)   # desktop entry file name and icon name
set(TAVRO_LAUNCHER tavro-shopping-list)
set(TAVRO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TAVRO_PACKAGE_NAME})
set(TAVRO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# ---------------------------------------------------------------- the icon

find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert (Debian package librsvg2-bin) draws the 48 px icon; "
                      "install it with tools/install-deps.sh")
endif()
set(TAVRO_ICON_SVG ${TAVRO_PACKAGING_DIR}/${TAVRO_APP_ID}.svg)
set(TAVRO_ICON_PNG ${CMAKE_BINARY_DIR}/icons/48x48/${TAVRO_APP_ID}.png)
add_custom_command(
  OUTPUT ${TAVRO_ICON_PNG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/48x48
  COMMAND ${RSVG_CONVERT} --width=48 --height=48 --keep-aspect-ratio
          --output=${TAVRO_ICON_PNG} ${TAVRO_ICON_SVG}
  DEPENDS ${TAVRO_ICON_SVG}
  COMMENT "Drawing the 48 px icon"
  VERBATIM)
add_custom_target(shopping-list-icon ALL DEPENDS ${TAVRO_ICON_PNG})

# ---------------------------------------------------------------- manual pages and changelog

find_program(SCDOC scdoc)
if(NOT SCDOC)
  message(FATAL_ERROR "scdoc (Debian package scdoc) writes the manual pages; "
                      "install it with tools/install-deps.sh")
endif()
find_program(GZIP gzip REQUIRED)
# Compressed as Debian wants them: gzip -9, without the name and time of the file.
set(TAVRO_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(TAVRO_MANUAL_PAGES)
foreach(page shopping-list tavro-shopping-list)
  set(source ${TAVRO_PACKAGING_DIR}/man/${page}.1.scd)
  set(roff ${TAVRO_MAN_DIR}/${page}.1)
  add_custom_command(
    OUTPUT ${roff} ${roff}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVRO_MAN_DIR}
    COMMAND sh -c [["$1" < "$2" > "$3"]] sh ${SCDOC} ${source} ${roff}
    COMMAND ${GZIP} -9 -n -f -k ${roff}
    DEPENDS ${source}
    COMMENT "Writing the manual page ${page}(1)"
    VERBATIM)
  list(APPEND TAVRO_MANUAL_PAGES ${roff}.gz)
endforeach()
set(TAVRO_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(
  OUTPUT ${TAVRO_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND sh -c [["$1" -9 -n -c "$2" > "$3"]] sh ${GZIP} ${TAVRO_PACKAGING_DIR}/changelog ${TAVRO_CHANGELOG}
  DEPENDS ${TAVRO_PACKAGING_DIR}/changelog
  VERBATIM)
add_custom_target(shopping-list-docs ALL DEPENDS ${TAVRO_MANUAL_PAGES} ${TAVRO_CHANGELOG})

# bash-completion loads a completion by the command's name: the launcher's is a
# link to the one file for both.
set(TAVRO_COMPLETION ${TAVRO_PACKAGING_DIR}/bash-completion/shopping-list)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/completion)
file(CREATE_LINK shopping-list ${CMAKE_BINARY_DIR}/completion/${TAVRO_LAUNCHER} SYMBOLIC)

# ---------------------------------------------------------------- install rules

install(TARGETS shopping-list RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The window module, where the program looks for it (../lib/tavro-shopping-list/modules
# from its own folder).
install(TARGETS shopping_ui_module LIBRARY DESTINATION ${WINDOW_MODULE_INSTALL_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# Stripped (cpack, cmake --install --strip) as Debian strips: also without the
# compilers' version notes.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(tavro_file [[${CMAKE_INSTALL_BINDIR}/shopping-list]]
                       [[${WINDOW_MODULE_INSTALL_DIR}/${WINDOW_MODULE_FILE}]])
      execute_process(COMMAND [[${CMAKE_OBJCOPY}]] --remove-section=.comment
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${tavro_file}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()
")
install(PROGRAMS ${TAVRO_PACKAGING_DIR}/${TAVRO_LAUNCHER} DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TAVRO_ICON_SVG}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES ${TAVRO_ICON_PNG}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/48x48/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TAVRO_PACKAGING_DIR}/copyright ${TAVRO_CHANGELOG}
        DESTINATION ${TAVRO_DOC_DIR})
install(FILES ${TAVRO_MANUAL_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TAVRO_COMPLETION} ${CMAKE_BINARY_DIR}/completion/${TAVRO_LAUNCHER}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
install(FILES ${TAVRO_PACKAGING_DIR}/${TAVRO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# The desktop entry, written when the install prefix is known (DESTDIR, as
# CPack uses it, is not part of the Exec path).
install(CODE "
  set(TAVRO_DESKTOP_TEMPLATE [[${TAVRO_PACKAGING_DIR}/${TAVRO_APP_ID}.desktop.in]])
  set(TAVRO_DESKTOP_NAME [[${TAVRO_APP_ID}.desktop]])
  set(TAVRO_ICON_NAME [[${TAVRO_APP_ID}]])
  set(TAVRO_LAUNCHER_PATH [[${CMAKE_INSTALL_BINDIR}/${TAVRO_LAUNCHER}]])
  set(TAVRO_APPLICATIONS_DIR [[${CMAKE_INSTALL_DATAROOTDIR}/applications]])
  set(TAVRO_STAGING_DIR [[${CMAKE_BINARY_DIR}/desktop-entry]])
  include([[${CMAKE_CURRENT_LIST_DIR}/DesktopEntry.cmake]])
")

# ---------------------------------------------------------------- the Debian package

set(TAVRO_PACKAGE_MAINTAINER
    "The TAVRO Shopping List Generator developers <maintainers@tavro-shopping-list.invalid>"
    CACHE STRING "Maintainer line of the Debian package")

set(CPACK_PACKAGE_NAME ${TAVRO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The TAVRO Shopping List Generator developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "crafting shopping-list generator for the TAVRO online RPG")
# Lines of at most 79 characters, as Debian wants them (lintian counts 80 with
# the leading blank that each line gets in the control file).
set(CPACK_PACKAGE_DESCRIPTION
    "Name the items you want to craft, each with a quantity: the program looks
every item up in the CorvaneDB item-database web service, keeps each item
document in a cache folder, follows every recipe down through its ingredients,
totals the materials and prints one sorted shopping list grouped by where each
material is gathered or bought. It has a console mode when started from a
terminal and a window when started from the desktop.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME ${TAVRO_PACKAGE_NAME})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)           # name_version_arch.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAVRO_PACKAGE_MAINTAINER})
# A tool for players, not a game itself.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the libraries the program links (libcurl4, the Qt 6
# Widgets, Gui and Core libraries, the C and C++ runtimes); the window also
# needs Qt's platform plugins, which libqt6gui6 only recommends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcurl is loaded when the first download is due, so no link names it (7.87
# for a transfer given up without waiting for its name lookup).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.87.0), qt6-qpa-plugins")
# Architecture: CPack asks dpkg --print-architecture.

include(CPack)
