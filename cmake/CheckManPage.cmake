# cmake -DPROGRAM=... -DPAGE=... -P CheckManPage.cmake
# Fails when an option or an output line that `PROGRAM --help` names is missing from the manual
# page PAGE, so that a new option cannot ship undocumented.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help exited with ${status}")
endif()

file(READ ${PAGE} page)
# Reduce the roff source to the words a reader sees: plain hyphens, no font changes or quotes.
string(REPLACE "\\-" "-" page "${page}")
string(REGEX REPLACE "\\\\f[BIRP]" "" page "${page}")
string(REPLACE "\"" "" page "${page}")

string(REGEX MATCHALL "--[a-z][a-z-]*" wanted "${help}")
# An output line in the help text is indented by two spaces and starts "word key=".
string(REGEX MATCHALL "\n  [a-z]+ [a-z-]+=" lines "${help}")
foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    list(APPEND wanted "${line}")
endforeach()
list(REMOVE_DUPLICATES wanted)

set(missing)
foreach(text IN LISTS wanted)
    # Options and keys hold only letters, hyphens, spaces and "=", none of them special here;
    # the end mark keeps --tos from counting as --tosx.
    if(NOT page MATCHES "${text}([^a-z-]|$)")
        list(APPEND missing "${text}")
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "${PAGE} does not describe: ${missing}")
endif()
list(LENGTH wanted count)
message(STATUS "${PAGE} describes all ${count} options and output lines of ${PROGRAM} --help")
