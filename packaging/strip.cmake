# Run by CPack on the staged files, before they are packed: strips the installed program and the
# desktop window's module of their symbols and of the compiler's .comment and .note sections, as
# Debian's tools do (a shared object keeps the symbols it is loaded by).
set(staged "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(GLOB programs "${staged}/${CPACK_KESTRUNE_BINDIR}/*")
file(GLOB modules "${staged}/${CPACK_KESTRUNE_MODULEDIR}/*.so")
if(NOT programs OR NOT modules)
  message(FATAL_ERROR "no program or module staged to strip")
endif()
function(strip_staged file)
  execute_process(COMMAND ${CPACK_KESTRUNE_STRIP} ${ARGN} --remove-section=.comment
                          --remove-section=.note ${file}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not strip ${file}")
  endif()
endfunction()
foreach(program ${programs})
  strip_staged(${program})
endforeach()
foreach(module ${modules})
  strip_staged(${module} --strip-unneeded)
endforeach()
