# Run by CPack after the stripped install into its staging folder: drops the
# sections lintian calls unneeded, as dh_strip does.
foreach(binary ${CPACK_OSTROVEL_BINARIES})
  set(file ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${binary})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "RemoveSections: ${file} missing")
  endif()
  execute_process(
    COMMAND ${CPACK_OSTROVEL_STRIP} --remove-section=.comment --remove-section=.note ${file}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
