# Run by CPack in its staging folder before the .deb is made, to finish what `cmake --install`
# left as a developer's install wants it: strips the programs of their symbols and of the
# sections that only name the compiler; adds the Debian copyright and changelog; compresses the
# changelog and every manual page (gzip -9n).
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${ARGN}: failed")
  endif()
endfunction()

file(GLOB programs "${root}/bin/*")
foreach(f IN LISTS programs)
  run(${CPACK_OK_STRIP} --remove-section=.comment --remove-section=.note "${f}")
endforeach()

file(COPY ${CPACK_OK_DEBIAN_DOCS} DESTINATION "${doc}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(GLOB_RECURSE pages "${root}/share/man/*")
list(FILTER pages EXCLUDE REGEX "\\.gz$")
foreach(f IN LISTS pages ITEMS "${doc}/changelog")
  run(gzip -9nf "${f}")
endforeach()
