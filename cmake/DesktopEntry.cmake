# Writes and installs the desktop entry. Runs at install time (from the
# install script), where CMAKE_INSTALL_PREFIX is the prefix the files go to.
# Expects TAVRO_DESKTOP_TEMPLATE, TAVRO_DESKTOP_NAME, TAVRO_ICON_NAME,
# TAVRO_LAUNCHER_PATH, TAVRO_APPLICATIONS_DIR (both relative to the prefix,
# or absolute) and TAVRO_STAGING_DIR (a scratch folder in the build tree).

# Install scripts run without the project's policies; this file's are its own.
cmake_policy(VERSION 3.25)

cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE tavro_prefix)
cmake_path(ABSOLUTE_PATH TAVRO_LAUNCHER_PATH BASE_DIRECTORY "${tavro_prefix}" NORMALIZE
           OUTPUT_VARIABLE tavro_launcher)
cmake_path(ABSOLUTE_PATH TAVRO_APPLICATIONS_DIR BASE_DIRECTORY "${tavro_prefix}" NORMALIZE
           OUTPUT_VARIABLE tavro_applications)

# The Exec value: the launcher's path, quoted when it holds a character that
# the desktop entry format reserves, then escaped as a string value.
if(tavro_launcher MATCHES "[\n\r]")
  message(FATAL_ERROR "The install prefix holds a line break: ${tavro_prefix}")
endif()
set(tavro_exec "${tavro_launcher}")
string(REPLACE "%" "%%" tavro_exec "${tavro_exec}")
if(tavro_exec MATCHES "[] \t\"'\\\\><~|&;$*?#()`[]")
  string(REPLACE "\\" "\\\\" tavro_exec "${tavro_exec}")
  string(REPLACE "\"" "\\\"" tavro_exec "${tavro_exec}")
  string(REPLACE "`" "\\`" tavro_exec "${tavro_exec}")
  string(REPLACE "$" "\\$" tavro_exec "${tavro_exec}")
  set(tavro_exec "\"${tavro_exec}\"")
  string(REPLACE "\\" "\\\\" tavro_exec "${tavro_exec}")
endif()

file(READ "${TAVRO_DESKTOP_TEMPLATE}" tavro_entry)
string(REPLACE "@TAVRO_ICON_NAME@" "${TAVRO_ICON_NAME}" tavro_entry "${tavro_entry}")
string(REPLACE "@TAVRO_LAUNCHER_EXEC@" "${tavro_exec}" tavro_entry "${tavro_entry}")

# One scratch folder per destination, so that installs into several prefixes
# at once do not share a file.
string(MD5 tavro_key "$ENV{DESTDIR}|${tavro_applications}")
set(tavro_staged "${TAVRO_STAGING_DIR}/${tavro_key}/${TAVRO_DESKTOP_NAME}")
file(WRITE "${tavro_staged}" "${tavro_entry}")
file(INSTALL DESTINATION "${tavro_applications}" TYPE FILE
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     FILES "${tavro_staged}")
file(REMOVE_RECURSE "${TAVRO_STAGING_DIR}/${tavro_key}")
