# The PE executables a Windows user downloads import only DLLs that every
# Windows has and those the package carries, which import only the former.
list(TRANSFORM BRIMLOW_BUNDLED_DLLS APPEND .dll OUTPUT_VARIABLE BRIMLOW_BUNDLED_FILES)
list(TRANSFORM BRIMLOW_BUNDLED_FILES PREPEND ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/)
add_test(NAME imports
         COMMAND ${CMAKE_SOURCE_DIR}/tests/pe/imports.sh ${CMAKE_OBJDUMP} "${BRIMLOW_BUNDLED_DLLS}"
                 $<TARGET_FILE:brimlow> $<TARGET_FILE:brimlow-cli> ${BRIMLOW_BUNDLED_FILES})
