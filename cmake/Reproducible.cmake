# Reproducible builds: the same sources give the same bytes, whichever folder they
# are built in and whenever. Included by the top-level CMakeLists.txt for every build.
#
# TAVRO_SOURCE_DATE_EPOCH (seconds since 1970, UTC) is the one date that what the
# build writes may carry: the manual pages' date, the member times in the archives
# that CPack makes. It is SOURCE_DATE_EPOCH when that is set (dpkg-buildpackage
# sets it from debian/changelog), else the time of the source tree's last commit,
# else (a tree that is no git checkout of its own) the date of debian/changelog's
# newest entry. Read when the build folder is configured.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TAVRO_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  set(TAVRO_SOURCE_DATE_EPOCH "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    # Only the tree's own history: not that of a repository it was unpacked into.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --show-toplevel
                    OUTPUT_VARIABLE tavro_git_top OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE tavro_git_failed ERROR_QUIET)
    if(NOT tavro_git_failed)
      file(REAL_PATH "${tavro_git_top}" tavro_git_top)
      file(REAL_PATH "${PROJECT_SOURCE_DIR}" tavro_source_top)
      if(tavro_git_top STREQUAL tavro_source_top)
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                        OUTPUT_VARIABLE TAVRO_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                        ERROR_QUIET)
      endif()
    endif()
  endif()
  if(TAVRO_SOURCE_DATE_EPOCH STREQUAL "")
    execute_process(COMMAND dpkg-parsechangelog -l ${PROJECT_SOURCE_DIR}/debian/changelog -S Timestamp
                    OUTPUT_VARIABLE TAVRO_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
  endif()
endif()
if(NOT TAVRO_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No date for the build: SOURCE_DATE_EPOCH is [${TAVRO_SOURCE_DATE_EPOCH}], "
                      "and neither git nor dpkg-parsechangelog gave the sources' date; "
                      "set SOURCE_DATE_EPOCH to the sources' time in seconds since 1970")
endif()

# No folder of this build in what it writes: the source and build folders become
# "." in debug information and in __FILE__ (the build folder's mapping comes last, so
# it wins for a build folder inside the source tree). A debugger started in the source
# folder finds the sources.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
  "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>")

# cpack run in this build folder dates the members of its archives (ZIP) with the
# same date, unless SOURCE_DATE_EPOCH is set when it runs.
set(TAVRO_CPACK_PROJECT_CONFIG ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
file(CONFIGURE OUTPUT ${TAVRO_CPACK_PROJECT_CONFIG} CONTENT [[
# Written by cmake/Reproducible.cmake: run by cpack before it packs.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} @TAVRO_SOURCE_DATE_EPOCH@)
endif()
]] @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${TAVRO_CPACK_PROJECT_CONFIG})
