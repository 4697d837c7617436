# Writes the manual page of a program from its own --help output (run with cmake -P), so that
# the page cannot drift from the program:
#   -DPROGRAM=path -DNAME=quelsor-cli -DSUMMARY=text -DVERSION=1.2 -DOUTPUT=file.1.gz
#   [-DCOMMANDS=ON]  also one subsection per command listed under "Commands:" (COMMAND --help)
#   [-DSEE_ALSO=quelsor]
# The text goes into no-fill blocks, escaped for troff; the page is compressed with gzip -9n.

function(run_help out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help
    OUTPUT_VARIABLE text RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${status}): ${errors}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Backslashes, minus signs and lines starting with a control character, for troff.
function(escape_troff out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

run_help(help)
# The synopsis is the help's "Usage: ..." line; the rest is the description.
string(REGEX MATCH "^Usage: ([^\n]*)\n" usage "${help}")
if(NOT usage)
  message(FATAL_ERROR "${PROGRAM} --help does not start with a Usage: line")
endif()
set(synopsis "${CMAKE_MATCH_1}")
string(LENGTH "${usage}" skip)
string(SUBSTRING "${help}" ${skip} -1 description)
string(REGEX REPLACE "^\n+" "" description "${description}")

string(TOUPPER "${NAME}" title)
escape_troff(title "${title}")
escape_troff(name_text "${NAME}")
escape_troff(summary "${SUMMARY}")
escape_troff(synopsis "${synopsis}")
escape_troff(description "${description}")
set(page ".TH \"${title}\" \"1\" \"\" \"Quelsor ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${name_text} \\- ${summary}\n")
string(APPEND page ".SH SYNOPSIS\n.nf\n${synopsis}\n.fi\n")
string(APPEND page ".SH DESCRIPTION\n.nf\n${description}.fi\n")

if(COMMANDS)
  string(APPEND page ".SH COMMANDS\n")
  string(REGEX MATCH "Commands:\n(  [^\n]*\n)+" listing "${help}")
  string(REGEX MATCHALL "\n  [a-z]+ " names "${listing}")
  foreach(entry IN LISTS names)
    string(STRIP "${entry}" command)
    run_help(command_help ${command})
    escape_troff(command_help "${command_help}")
    string(APPEND page ".SS ${command}\n.nf\n${command_help}.fi\n")
  endforeach()
endif()

if(SEE_ALSO)
  escape_troff(see_also "${SEE_ALSO}")
  string(APPEND page ".SH SEE ALSO\n\\fB${see_also}\\fR(1)\n")
endif()

get_filename_component(plain "${OUTPUT}" NAME_WLE)
get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(WRITE "${folder}/${plain}" "${page}")
execute_process(COMMAND gzip -9n -c "${folder}/${plain}" OUTPUT_FILE "${OUTPUT}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${folder}/${plain}")
endif()
