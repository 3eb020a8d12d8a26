# The PE executables a Windows user downloads import only DLLs that every
# Windows has.
add_test(NAME imports
         COMMAND ${CMAKE_SOURCE_DIR}/tests/pe/imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:brimlow>
                 $<TARGET_FILE:brimlow-cli>)
