# Runs scdoc with INPUT on its standard input and OUTPUT as its standard output (custom commands
# cannot redirect portably).
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "scdoc failed on ${INPUT}")
endif()
