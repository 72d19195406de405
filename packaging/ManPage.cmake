# Writes a gzipped man page: TEMPLATE with @OPTIONS@ replaced by PROGRAM's help text in man
# markup (help2roff.sh) and @VERSION@ by VERSION.
execute_process(
  COMMAND ${PROGRAM} ${HELP_ARGS}
  INPUT_FILE /dev/null
  OUTPUT_VARIABLE help
  RESULT_VARIABLE rc
  TIMEOUT 30)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} ${HELP_ARGS} failed (${rc})")
endif()
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(WRITE ${dir}/${NAME}.help "${help}")
execute_process(
  COMMAND sh ${HELP2ROFF} "${SKIP}"
  INPUT_FILE ${dir}/${NAME}.help
  OUTPUT_VARIABLE OPTIONS
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2roff.sh failed for ${PROGRAM}")
endif()
string(STRIP "${OPTIONS}" OPTIONS)
configure_file(${TEMPLATE} ${dir}/${NAME}.1 @ONLY)
execute_process(COMMAND gzip -9nf ${dir}/${NAME}.1 RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${NAME}.1")
endif()
