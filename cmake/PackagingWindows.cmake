# The Windows packages, made by CPack from the windows-cross build: a portable zip and an NSIS
# installer. Both hold what the install rules put in bin/ (the programs beside the Qt and MinGW
# runtime DLLs and plugins they load, cmake/WindowsRuntime.cmake), a read-me, the licence and the
# notices that Qt and the MinGW runtime ask of whoever passes them on.
# Only where WindowsRuntime.cmake has named those DLLs: other Windows builds ship no runtime.
if(NOT WIN32 OR NOT DEFINED PRAVELTEST_QT_DLLS)
    return()
endif()

set(windows_docs ${PROJECT_BINARY_DIR}/packaging-windows)

# Text files for Notepad: CRLF line ends. A template has its @VARIABLES@ filled in.
function(praveltest_windows_text source destination)
    cmake_parse_arguments(PARSE_ARGV 2 arg "TEMPLATE" "" "")
    file(READ ${source} text)
    if(arg_TEMPLATE)
        string(CONFIGURE "${text}" text @ONLY)
    endif()
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${destination} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

# Which Debian source Qt was built from: scripts/build-qt-windows.sh writes "qt6-base <version>".
file(STRINGS ${PRAVELTEST_QT_SOURCE_NOTE} qt_source LIMIT_COUNT 1)
if(NOT qt_source MATCHES "^([a-z0-9.+-]+) ([^ ]+)$")
    message(FATAL_ERROR "${PRAVELTEST_QT_SOURCE_NOTE} names no Debian source package and version")
endif()
set(PRAVELTEST_QT_SOURCE_PACKAGE ${CMAKE_MATCH_1})
set(PRAVELTEST_QT_SOURCE_VERSION ${CMAKE_MATCH_2})
string(REPLACE "+" "%2B" PRAVELTEST_QT_SOURCE_VERSION_URL ${PRAVELTEST_QT_SOURCE_VERSION})
set(PRAVELTEST_QT_VERSION ${Qt6_VERSION})

# Debian's copyright files list every holder and licence in Qt's source (FreeType, HarfBuzz,
# libpng and the rest it bundles) and in the MinGW runtime. The host's copy of Qt's fits only the
# version built; build-qt-windows.sh builds the host's version, and configuring stops if they part.
function(praveltest_debian_copyright package version variable)
    execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
                    OUTPUT_VARIABLE installed RESULT_VARIABLE status ERROR_QUIET)
    set(file /usr/share/doc/${package}/copyright)
    if(NOT status EQUAL 0 OR NOT EXISTS ${file})
        message(FATAL_ERROR "Debian package ${package} is not installed; its copyright file "
                            "goes into the Windows packages")
    endif()
    if(version AND NOT installed STREQUAL version)
        message(FATAL_ERROR "Qt for Windows is built from ${version} but ${package} ${installed} "
                            "is installed; rebuild Qt with scripts/build-qt-windows.sh")
    endif()
    set(${variable} ${file} PARENT_SCOPE)
endfunction()
praveltest_debian_copyright(qt6-base-dev ${PRAVELTEST_QT_SOURCE_VERSION} qt_copyright)

set(mingw_packages)
set(mingw_copyrights)
set(PRAVELTEST_MINGW_COPYRIGHT_LIST)
foreach(dll IN LISTS PRAVELTEST_MINGW_RUNTIME)
    execute_process(COMMAND dpkg-query -S ${dll} OUTPUT_VARIABLE owner RESULT_VARIABLE status
                    ERROR_QUIET)
    if(NOT status EQUAL 0 OR NOT owner MATCHES "^([^:]+):")
        message(FATAL_ERROR "no Debian package owns ${dll}, so its licence is unknown")
    endif()
    set(package ${CMAKE_MATCH_1})
    get_filename_component(name ${dll} NAME)
    if(NOT package IN_LIST mingw_packages)
        list(APPEND mingw_packages ${package})
        praveltest_debian_copyright(${package} "" copyright)
        list(APPEND mingw_copyrights ${copyright})
        set(dlls_of_${package})
    endif()
    list(APPEND dlls_of_${package} ${name})
endforeach()
foreach(package IN LISTS mingw_packages)
    list(JOIN dlls_of_${package} ", " dlls)
    string(APPEND PRAVELTEST_MINGW_COPYRIGHT_LIST
           "  licenses\\${package}-copyright.txt (${dlls})\n")
endforeach()

praveltest_windows_text(${PROJECT_SOURCE_DIR}/cmake/windows/README.txt.in
                        ${windows_docs}/README.txt TEMPLATE)
praveltest_windows_text(${PROJECT_SOURCE_DIR}/cmake/windows/THIRD-PARTY.txt.in
                        ${windows_docs}/THIRD-PARTY.txt TEMPLATE)
praveltest_windows_text(${PROJECT_SOURCE_DIR}/LICENSE ${windows_docs}/LICENSE.txt)
install(FILES ${windows_docs}/README.txt ${windows_docs}/THIRD-PARTY.txt
              ${windows_docs}/LICENSE.txt
        DESTINATION .)

# LGPL-3 section 4 asks for its text and the GPL's beside the library; Debian's base-files holds
# the latter. The licence and copyright files are copied as they are.
install(FILES ${PRAVELTEST_QT_LICENCE} DESTINATION licenses RENAME LGPL-3.0.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION licenses RENAME GPL-3.0.txt)
install(FILES ${qt_copyright} DESTINATION licenses RENAME qt6-base-copyright.txt)
foreach(package copyright IN ZIP_LISTS mingw_packages mingw_copyrights)
    install(FILES ${copyright} DESTINATION licenses RENAME ${package}-copyright.txt)
endforeach()
# How Qt was built belongs to its corresponding source.
install(FILES ${PROJECT_SOURCE_DIR}/scripts/build-qt-windows.sh
              ${PROJECT_SOURCE_DIR}/scripts/common.sh
              ${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
        DESTINATION licenses/qt-build)

# Debian's MinGW runtime DLLs keep their debug information (libstdc++-6.dll: 23 MB, 2 MB
# without) and Qt's their symbol tables. A stripped install, as CPack's is, strips them too, as
# it does the programs; their exports stay.
set(runtime_files)
foreach(dll IN LISTS PRAVELTEST_MINGW_RUNTIME PRAVELTEST_QT_DLLS)
    get_filename_component(name ${dll} NAME)
    list(APPEND runtime_files ${CMAKE_INSTALL_BINDIR}/${name})
endforeach()
get_filename_component(name ${PRAVELTEST_QT_PLATFORM_PLUGIN} NAME)
list(APPEND runtime_files ${CMAKE_INSTALL_BINDIR}/platforms/${name})
get_filename_component(name ${PRAVELTEST_QT_STYLE_PLUGIN} NAME)
list(APPEND runtime_files ${CMAKE_INSTALL_BINDIR}/styles/${name})
install(CODE "
if(CMAKE_INSTALL_DO_STRIP)
    foreach(file IN ITEMS ${runtime_files})
        execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\"
                        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endif()")

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME PraveltTest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "PraveltTest developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test tool for networked DMX512 lighting nodes")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# cmake/windows/CPackOptions.cmake names each package from this, the installer with -setup.
set(CPACK_PRAVELTEST_FILE_NAME praveltest-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PRAVELTEST_FILE_NAME})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/windows/CPackOptions.cmake)
set(CPACK_RESOURCE_FILE_LICENSE ${windows_docs}/LICENSE.txt)
set(CPACK_STRIP_FILES ON)
# The NSIS commands below hold backslashes and quotes that must reach makensis as written.
set(CPACK_VERBATIM_VARIABLES ON)

# The same key for every version, so that a newer installer replaces the older one's entry in
# Apps and Features; the older version is uninstalled first.
set(CPACK_PACKAGE_INSTALL_DIRECTORY PraveltTest)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY PraveltTest)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_PACKAGE_NAME PraveltTest)
set(CPACK_NSIS_DISPLAY_NAME PraveltTest)
# A 64-bit installer: its registry writes and Program Files are the 64-bit ones the programs
# use, and it runs on 64-bit Wine, which has no 32-bit side unless wine32 is installed.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# The installer's own Details tab names product, version and publisher.
list(JOIN PRAVELTEST_VERSION_PARTS . version_four_parts)
foreach(line "VIProductVersion ${version_four_parts}"
             "VIAddVersionKey /LANG=1033 ProductName PraveltTest"
             "VIAddVersionKey /LANG=1033 ProductVersion ${PROJECT_VERSION}"
             "VIAddVersionKey /LANG=1033 CompanyName \"${CPACK_PACKAGE_VENDOR}\""
             "VIAddVersionKey /LANG=1033 FileDescription \"PraveltTest installer\""
             "VIAddVersionKey /LANG=1033 FileVersion ${PROJECT_VERSION}")
    string(APPEND CPACK_NSIS_DEFINES "\n${line}")
endforeach()
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/icons/praveltest.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/icons/praveltest.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\praveltest.exe")
# Start menu: PraveltTest > PraveltTest, the window (and Uninstall, which CPack adds).
set(CPACK_PACKAGE_EXECUTABLES praveltest PraveltTest)

# Nodes answer on UDP 3333, where the window, the command-line tool and the simulated node all
# listen; Windows Firewall drops that inbound traffic unless a rule allows it. All rules share one
# name, so one delete removes them, on uninstall and before a reinstall adds them again. A failed
# netsh (firewall service off) is logged and does not stop the installer.
set(netsh "nsExec::ExecToLog '\"$SYSDIR\\netsh.exe\" advfirewall firewall")
set(firewall_delete "${netsh} delete rule name=\"PraveltTest\"'\nPop $0\n")
set(firewall_add)
foreach(program praveltest praveltest-cli praveltest-node)
    string(APPEND firewall_add "${netsh} add rule name=\"PraveltTest\" dir=in action=allow "
           "program=\"$INSTDIR\\bin\\${program}.exe\" protocol=UDP localport=3333'\nPop $0\n")
endforeach()
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "${firewall_delete}${firewall_add}")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "${firewall_delete}")

include(CPack)
