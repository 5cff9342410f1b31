# Manual pages, the package's documents, their checks, and the Debian package built by CPack.
if(NOT UNIX OR APPLE)
    return()
endif()

set(PRAVELTEST_MAINTAINER "PraveltTest developers <dev@praveltest.invalid>")
set(docs_dir ${PROJECT_BINARY_DIR}/packaging)
execute_process(COMMAND date -u -R -d "${PRAVELTEST_RELEASE_DATE} 00:00:00"
                OUTPUT_VARIABLE PRAVELTEST_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

set(man_pages praveltest-node.1 praveltest-cli.1)
if(PRAVELTEST_BUILD_GUI)
    list(APPEND man_pages praveltest.1)
endif()
set(compressed_pages)
foreach(page IN LISTS man_pages)
    configure_file(docs/man/${page}.in ${docs_dir}/${page} @ONLY)
    list(APPEND compressed_pages ${docs_dir}/${page}.gz)
endforeach()
configure_file(cmake/debian/changelog.in ${docs_dir}/changelog @ONLY)

# Debian wants these at maximum compression and without a time stamp, so that builds repeat.
foreach(compressed IN LISTS compressed_pages ITEMS ${docs_dir}/changelog.gz)
    string(REGEX REPLACE "\\.gz$" "" plain ${compressed})
    add_custom_command(OUTPUT ${compressed} COMMAND gzip -9 -n -k -f ${plain} DEPENDS ${plain}
                       VERBATIM)
endforeach()
add_custom_target(praveltest_docs ALL DEPENDS ${compressed_pages} ${docs_dir}/changelog.gz)

install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Bash completion, one file per program, named as bash-completion looks them up.
set(completions res/bash-completion/praveltest-node res/bash-completion/praveltest-cli)
set(completed_programs $<TARGET_FILE:praveltest-node> $<TARGET_FILE:praveltest-cli>)
if(PRAVELTEST_BUILD_GUI)
    list(APPEND completions res/bash-completion/praveltest)
    list(APPEND completed_programs $<TARGET_FILE:praveltest>)
endif()
install(FILES ${completions} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES cmake/debian/copyright ${docs_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/praveltest)

# The Wireshark dissector, where Debian's Wireshark loads global Lua plugins whatever its version
# (tshark -G folders: "Global Lua Plugins").
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(wireshark_plugins lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
    set(wireshark_plugins ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)
endif()
set(PRAVELTEST_WIRESHARK_PLUGIN_DIR ${wireshark_plugins}
    CACHE STRING "Where the Wireshark dissector is installed, below the install prefix")
install(FILES res/wireshark/praveltest.lua DESTINATION ${PRAVELTEST_WIRESHARK_PLUGIN_DIR})

if(PRAVELTEST_BUILD_TESTS)
    # groff warns on stderr but still exits 0, so any output fails these checks.
    foreach(page IN LISTS man_pages)
        add_test(NAME man_page_${page} COMMAND groff -ww -man -z -t ${docs_dir}/${page})
        set_tests_properties(man_page_${page} PROPERTIES LABELS resources FAIL_REGULAR_EXPRESSION ".")
    endforeach()
    add_test(NAME man_page_covers_node_help
             COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:praveltest-node>
                     -DPAGE=${docs_dir}/praveltest-node.1 -P ${PROJECT_SOURCE_DIR}/cmake/CheckManPage.cmake)
    set_tests_properties(man_page_covers_node_help PROPERTIES LABELS resources)
    add_test(NAME man_page_covers_cli_help
             COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:praveltest-cli>
                     -DPAGE=${docs_dir}/praveltest-cli.1 -P ${PROJECT_SOURCE_DIR}/cmake/CheckManPage.cmake)
    set_tests_properties(man_page_covers_cli_help PROPERTIES LABELS resources)
    add_test(NAME bash_completion
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/completion_test.sh
                     ${PROJECT_SOURCE_DIR}/res/bash-completion ${completed_programs})
    set_tests_properties(bash_completion PROPERTIES LABELS resources)
    if(PRAVELTEST_BUILD_GUI)
        add_test(NAME desktop_entry_valid
                 COMMAND desktop-file-validate ${PROJECT_SOURCE_DIR}/res/praveltest.desktop)
        add_test(NAME metainfo_valid COMMAND appstreamcli validate --no-net ${PRAVELTEST_METAINFO})
        add_test(NAME man_page_covers_program_help
                 COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:praveltest>
                         -DPAGE=${docs_dir}/praveltest.1 -P ${PROJECT_SOURCE_DIR}/cmake/CheckManPage.cmake)
        set_tests_properties(man_page_covers_program_help PROPERTIES LABELS resources)
        set_tests_properties(desktop_entry_valid PROPERTIES LABELS resources
                             FAIL_REGULAR_EXPRESSION ".")
        set_tests_properties(metainfo_valid PROPERTIES LABELS resources
                             FAIL_REGULAR_EXPRESSION "(^|\n)[EW]: ")
    endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME praveltest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "PraveltTest developers")
set(CPACK_PACKAGE_CONTACT ${PRAVELTEST_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test tool for networked DMX512 lighting nodes")
set(CPACK_PACKAGE_DESCRIPTION
    "PraveltTest finds DMX512 lighting nodes on an IPv4 network and drives their
channels. It broadcasts a discovery poll on UDP port 3333 and lists every node
that answers; each move of its level slider broadcasts one DMX data message.
.
The package also holds praveltest-node, a simulated node that answers polls
and prints the DMX data it hears, so that the tool can be tried without
hardware, and praveltest-cli, which polls and sends levels from a shell.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PRAVELTEST_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dissector is of use only with Wireshark or tshark.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tshark | wireshark")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
