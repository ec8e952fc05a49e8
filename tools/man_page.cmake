# Makes the tessary manual page with help2man: the overview from `tessary --help`, then a
# COMMANDS section with every subcommand's own --help, so the page says all the help says.
#   cmake -DTESSARY=... -DHELP2MAN=... -DVERSION=... -DOUTPUT=... -P man_page.cmake
execute_process(COMMAND ${TESSARY} --help OUTPUT_VARIABLE overview RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "tessary --help failed")
endif()
string(REGEX MATCHALL "\n  [a-z]+ " names "${overview}")
set(section "[COMMANDS]\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  execute_process(COMMAND ${TESSARY} ${name} --help OUTPUT_VARIABLE help)
  # roff: a leading dot or quote would start a request, a backslash an escape.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND section ".SS ${name}\n.nf\n${help}.fi\n")
endforeach()
string(APPEND section "[SEE ALSO]\nThe README and docs/ of the Tessary sources: docs/cli.md for the commands, docs/formats.md for the data files.\n")
file(WRITE ${OUTPUT}.h2m "${section}")
execute_process(COMMAND ${HELP2MAN} --no-info --section=1 "--source=Tessary ${VERSION}"
  "--name=query, check and write Tessary symbol data directories"
  --include=${OUTPUT}.h2m --output=${OUTPUT} ${TESSARY} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed")
endif()
