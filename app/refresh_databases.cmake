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

# Runs `tool` over `folder` when the tool is installed; a failure is a warning:
# the files are in place, only the desktop may not know them at once.
function(vedo_refresh tool what folder)
  find_program(program_${tool} ${tool})
  if(NOT program_${tool})
    message(STATUS "${tool} not found: ${what} not refreshed")
    return()
  endif()
  message(STATUS "Refreshing the ${what}: ${folder}")
  execute_process(COMMAND "${program_${tool}}" "${folder}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(WARNING "${tool} failed (${rc}); *.vdb files may not open with vedo32 until the ${what} is refreshed")
  endif()
endfunction()

vedo_refresh(update-mime-database "MIME database" "${data}/mime")
vedo_refresh(update-desktop-database "desktop database" "${data}/applications")
