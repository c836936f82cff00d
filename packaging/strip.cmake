# Run by CPack on the staged files, before they are packed: strips the installed programs of
# their symbols and of the compiler's .comment and .note sections, as Debian's tools do.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_KESTRUNE_BINDIR}/*")
if(NOT programs)
  message(FATAL_ERROR "no program staged to strip")
endif()
foreach(program ${programs})
  execute_process(COMMAND ${CPACK_KESTRUNE_STRIP} --remove-section=.comment --remove-section=.note
                          ${program}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not strip ${program}")
  endif()
endforeach()
