# Runs inside CPack between the install into the staging tree and the
# packing: removes from the installed programs the sections that `strip`
# leaves and a Debian package does not ship (the compilers' .comment
# identification and the bare .note section), as dh_strip does.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_OBJCOPY_EXECUTABLE}" --remove-section=.comment --remove-section=.note "${program}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${program}")
  endif()
endforeach()
