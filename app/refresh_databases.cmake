# Run by `cmake --install` after the desktop entry and the MIME type are in
# place: refreshes the MIME and desktop databases of the installed tree, so
# that a *.vdb file opens with vedo32 at once. Each tool is used when present
# (shared-mime-info, desktop-file-utils) and skipped otherwise.
#
# With DESTDIR set the tree is a staging area for a package, whose own
# triggers refresh the databases on the target machine: nothing is done here,
# so no generated cache ends up in the package.

if(NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "DESTDIR set: MIME and desktop databases left to the package's triggers")
  return()
endif()

set(data "${CMAKE_INSTALL_PREFIX}/${VEDO_INSTALL_DATADIR}")

find_program(VEDO_UPDATE_MIME update-mime-database)
if(VEDO_UPDATE_MIME)
  message(STATUS "Refreshing the MIME database: ${data}/mime")
  execute_process(COMMAND "${VEDO_UPDATE_MIME}" "${data}/mime" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(WARNING "update-mime-database failed (${rc}); *.vdb files may open as plain text")
  endif()
else()
  message(STATUS "update-mime-database not found: MIME database not refreshed")
endif()

find_program(VEDO_UPDATE_DESKTOP update-desktop-database)
if(VEDO_UPDATE_DESKTOP)
  message(STATUS "Refreshing the desktop database: ${data}/applications")
  execute_process(COMMAND "${VEDO_UPDATE_DESKTOP}" "${data}/applications" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(WARNING "update-desktop-database failed (${rc})")
  endif()
else()
  message(STATUS "update-desktop-database not found: desktop database not refreshed")
endif()
