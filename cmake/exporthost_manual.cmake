# Makes exporthost(1) at build time: help2man reads --help and --version, and the include file
# adds the sections help2man cannot know, the list of checks taken from the program itself.
#   cmake -DEXPORTHOST=... -DHELP2MAN=... -DINCLUDE=... -DOUTPUT=... -P exporthost_manual.cmake
execute_process(COMMAND ${EXPORTHOST} check --list OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
# A promise wrapped onto further lines is one paragraph of the page.
string(REGEX REPLACE "\n +" " " listing "${listing}")
string(REPLACE "\\" "\\e" listing "${listing}")
string(REPLACE "-" "\\-" listing "${listing}")
string(REGEX REPLACE "([^ \n]+) +([^\n]*)\n" ".TP\n.B \\1\n\\2\n" checks "${listing}")
file(READ ${INCLUDE} sections)
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(WRITE ${folder}/exporthost.h2m "[CHECKS]\n\\fBexporthost check\\fR holds each plug-in to these promises, a check each (\\fBexporthost check \\-\\-list\\fR):\n${checks}\n${sections}")
execute_process(COMMAND ${HELP2MAN} --no-info --section=1
  "--name=load export plug-ins as the Velmont host does, run and check them"
  --include=${folder}/exporthost.h2m --output=${OUTPUT} ${EXPORTHOST} COMMAND_ERROR_IS_FATAL ANY)
# help2man runs the copyright and licence lines of --version together: one a line, as printed.
file(READ ${OUTPUT} page)
string(REGEX REPLACE "(\nCopyright [^\n]*)\nLicense" "\\1\n.br\nLicense" page "${page}")
# The commit is for --version; the page belongs to the version.
string(REGEX REPLACE "\nBuilt from commit [0-9a-f]+\\.\n" "\n" page "${page}")
file(WRITE ${OUTPUT} "${page}")
