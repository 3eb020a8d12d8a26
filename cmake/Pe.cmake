# Checks of the PE executables a Windows user downloads: both import only
# DLLs that every Windows has, and brimlow-cli.exe resizes the bundled
# samples under Wine with the shipped settings.
add_test(NAME imports
         COMMAND ${CMAKE_SOURCE_DIR}/tests/pe/imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:brimlow>
                 $<TARGET_FILE:brimlow-cli>)
add_test(NAME cli-under-wine
         COMMAND ${CMAKE_SOURCE_DIR}/tests/pe/cli.sh $<TARGET_FILE:brimlow-cli> ${CMAKE_SOURCE_DIR}/app)
set_tests_properties(cli-under-wine PROPERTIES ENVIRONMENT "${BRIMLOW_WINE_ENV}" TIMEOUT 120)
