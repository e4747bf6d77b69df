# Installation: the files that `cmake --install` puts into a prefix, and that the
# Debian package (debian/, built with dpkg-buildpackage) ships under /usr.
#
#   cmake --install build --prefix ~/.local     # into a prefix
#
# Installs the program and, beside it, the launcher tavro-shopping-list, which
# makes the user's working folder (with its cache folder) and starts the
# program there; a desktop entry that runs the launcher; the icon (scalable,
# and a 48 px PNG drawn from it at build time); the manual pages of both
# commands (written for scdoc, turned into roff at build time); their bash
# completion; the AppStream data; the README, the copyright file (with the
# licence) and the changelog, both from debian/, where the package has them.
# The desktop entry's Exec line names the launcher by its absolute path, so it
# is written at install time, when the prefix is known. The 48 px icon and the
# manual pages need rsvg-convert and scdoc, and come only with BUILD_PACKAGING:
# without it the rest is installed.

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
set(TAVRO_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/debian)

# ---------------------------------------------------------------- the icon

set(TAVRO_ICON_SVG ${TAVRO_PACKAGING_DIR}/${TAVRO_APP_ID}.svg)
if(BUILD_PACKAGING)
  require_packaging_tool(RSVG_CONVERT rsvg-convert
    "rsvg-convert (Debian package librsvg2-bin) draws the 48 px icon; install it with tools/install-deps.sh")
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
endif()

# ---------------------------------------------------------------- manual pages and changelog

find_program(GZIP gzip REQUIRED)
# Compressed as Debian wants them: gzip -9, without the name and time of the file.
# The pages are dated TAVRO_SOURCE_DATE_EPOCH (cmake/Reproducible.cmake), not today.
set(TAVRO_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(TAVRO_MANUAL_PAGES)
if(BUILD_PACKAGING)
  require_packaging_tool(SCDOC scdoc
    "scdoc (Debian package scdoc) writes the manual pages; install it with tools/install-deps.sh")
  foreach(page shopping-list tavro-shopping-list)
    set(source ${TAVRO_PACKAGING_DIR}/man/${page}.1.scd)
    set(roff ${TAVRO_MAN_DIR}/${page}.1)
    add_custom_command(
      OUTPUT ${roff} ${roff}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVRO_MAN_DIR}
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TAVRO_SOURCE_DATE_EPOCH}
              sh -c [["$1" < "$2" > "$3"]] sh ${SCDOC} ${source} ${roff}
      COMMAND ${GZIP} -9 -n -f -k ${roff}
      DEPENDS ${source}
      COMMENT "Writing the manual page ${page}(1)"
      VERBATIM)
    list(APPEND TAVRO_MANUAL_PAGES ${roff}.gz)
  endforeach()
endif()
set(TAVRO_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(
  OUTPUT ${TAVRO_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND sh -c [["$1" -9 -n -c "$2" > "$3"]] sh ${GZIP} ${TAVRO_DEBIAN_DIR}/changelog ${TAVRO_CHANGELOG}
  DEPENDS ${TAVRO_DEBIAN_DIR}/changelog
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
# Stripped (cmake --install --strip) as Debian strips: also without the
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
if(BUILD_PACKAGING)
  install(FILES ${TAVRO_ICON_PNG}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/48x48/apps)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TAVRO_DEBIAN_DIR}/copyright ${TAVRO_CHANGELOG}
        DESTINATION ${TAVRO_DOC_DIR})
if(BUILD_PACKAGING)
  install(FILES ${TAVRO_MANUAL_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${TAVRO_COMPLETION} ${CMAKE_BINARY_DIR}/completion/${TAVRO_LAUNCHER}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
install(FILES ${TAVRO_PACKAGING_DIR}/${TAVRO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# The desktop entry, written when the install prefix is known (DESTDIR, which
# the Debian package's build installs with, is not part of the Exec path).
install(CODE "
  set(TAVRO_DESKTOP_TEMPLATE [[${TAVRO_PACKAGING_DIR}/${TAVRO_APP_ID}.desktop.in]])
  set(TAVRO_DESKTOP_NAME [[${TAVRO_APP_ID}.desktop]])
  set(TAVRO_ICON_NAME [[${TAVRO_APP_ID}]])
  set(TAVRO_LAUNCHER_PATH [[${CMAKE_INSTALL_BINDIR}/${TAVRO_LAUNCHER}]])
  set(TAVRO_APPLICATIONS_DIR [[${CMAKE_INSTALL_DATAROOTDIR}/applications]])
  set(TAVRO_STAGING_DIR [[${CMAKE_BINARY_DIR}/desktop-entry]])
  include([[${CMAKE_CURRENT_LIST_DIR}/DesktopEntry.cmake]])
")
