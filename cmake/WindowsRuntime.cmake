# Windows builds against Qt's DLLs: every executable lands in bin/ beside the DLLs and plugins it
# loads, so the build tree runs as the installed program does (the tests under Wine included),
# and the same set is installed into the zip and the installer.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# The MinGW-w64 C++ runtime, shared by Qt and the program.
set(PRAVELTEST_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} knows no ${dll}")
    endif()
    file(REAL_PATH "${path}" path)
    list(APPEND PRAVELTEST_MINGW_RUNTIME ${path})
endforeach()

# Qt's DLLs and the plugins the window loads: the Windows platform and the native style.
function(praveltest_imported_file target variable)
    get_target_property(path ${target} IMPORTED_LOCATION_RELEASE)
    if(NOT path)
        get_target_property(path ${target} IMPORTED_LOCATION)
    endif()
    set(${variable} ${path} PARENT_SCOPE)
endfunction()
set(PRAVELTEST_QT_DLLS)
foreach(module Core Gui Widgets)
    praveltest_imported_file(Qt6::${module} dll)
    list(APPEND PRAVELTEST_QT_DLLS ${dll})
endforeach()
praveltest_imported_file(Qt6::QWindowsIntegrationPlugin PRAVELTEST_QT_PLATFORM_PLUGIN)
praveltest_imported_file(Qt6::QWindowsVistaStylePlugin PRAVELTEST_QT_STYLE_PLUGIN)
set(PRAVELTEST_QT_LICENCE ${QT6_INSTALL_PREFIX}/LICENSE.LGPL3)
set(PRAVELTEST_QT_SOURCE_NOTE ${QT6_INSTALL_PREFIX}/SOURCE)

set(runtime_dir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(copy_runtime
    COMMAND ${CMAKE_COMMAND} -E make_directory ${runtime_dir}/platforms ${runtime_dir}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PRAVELTEST_MINGW_RUNTIME} ${PRAVELTEST_QT_DLLS}
            ${runtime_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PRAVELTEST_QT_PLATFORM_PLUGIN}
            ${runtime_dir}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PRAVELTEST_QT_STYLE_PLUGIN}
            ${runtime_dir}/styles)
if(PRAVELTEST_BUILD_TESTS)
    praveltest_imported_file(Qt6::Test test_dll)
    list(APPEND copy_runtime COMMAND ${CMAKE_COMMAND} -E copy_if_different ${test_dll} ${runtime_dir})
endif()
add_custom_target(praveltest_windows_runtime ALL ${copy_runtime} VERBATIM)

install(FILES ${PRAVELTEST_MINGW_RUNTIME} ${PRAVELTEST_QT_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PRAVELTEST_QT_PLATFORM_PLUGIN} DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
install(FILES ${PRAVELTEST_QT_STYLE_PLUGIN} DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
