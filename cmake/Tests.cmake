# Unit tests (GoogleTest) and the probe program that the tests run to watch
# fatal stops and crash reports happen in a process of their own.
if(BRIMLOW_WIN32)
  # GoogleTest for the target, built with mingw-w64 from Debian's
  # googletest sources.
  find_path(GTEST_SRC src/gtest-all.cc PATHS /usr/src/googletest/googletest /usr/src/gtest NO_DEFAULT_PATH
            NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_library(gtest_mingw STATIC ${GTEST_SRC}/src/gtest-all.cc)
  target_include_directories(gtest_mingw SYSTEM PUBLIC ${GTEST_SRC}/include PRIVATE ${GTEST_SRC})
  set(BRIMLOW_GTEST gtest_mingw)
else()
  find_package(GTest REQUIRED)
  set(BRIMLOW_GTEST GTest::gtest)
endif()

if(BRIMLOW_WIN32)
  set(TEST_FOLDER_SOURCE tests/test_folder_win32.cpp)
else()
  set(TEST_FOLDER_SOURCE tests/test_folder_posix.cpp)
endif()

# brimlow_test_program(NAME [RESOURCES] SOURCES...): a console program of
# tests, which finds the public test images beside the project
# (../shared/testdata; tests that need them skip when it is absent) and the
# probe program beside itself.
function(brimlow_test_program name)
  brimlow_console_program(${name} ${ARGN})
  target_compile_definitions(${name} PRIVATE TESTDATA_DIR="${BRIMLOW_TESTDATA}"
                             CORPUS_DIR="${CMAKE_SOURCE_DIR}/tests/fuzz/corpus"
                             PROBE_COMMAND="core-probe${CMAKE_EXECUTABLE_SUFFIX}")
endfunction()

brimlow_test_program(brimlow-tests RESOURCES
    tests/test_main.cpp
    tests/test_support.cpp
    ${TEST_FOLDER_SOURCE}
    tests/test_orv-str.cpp
    tests/test_orv-core.cpp
    tests/test_orv-core_lock.cpp
    tests/test_file.cpp
    tests/test_thread.cpp
    tests/test_pool.cpp
    tests/test_bitmap.cpp
    tests/test_bitmap_bmp.cpp
    tests/test_plan.cpp
    tests/test_launch.cpp
    tests/test_language.cpp
    tests/test_png.cpp
    tests/test_gif.cpp
    tests/test_tga.cpp
    tests/test_jpegl.cpp
    tests/test_webpl.cpp
    tests/test_heifl.cpp
    tests/test_tiffl.cpp
    tests/test_xml.cpp
    tests/test_config.cpp
    tests/job_support.cpp
    tests/test_copy.cpp
    tests/test_batch.cpp
    tests/test_colour.cpp
    tests/test_exif.cpp
    tests/test_cli.cpp
    tests/test_sizelimit.cpp
    tests/test_copy_formats.cpp
    tests/test_rectangle.cpp
    tests/test_sidedata.cpp)
target_link_libraries(brimlow-tests PRIVATE brimlow-app divivar ${BRIMLOW_GTEST})

brimlow_console_program(core-probe tests/core-probe.cpp)
target_link_libraries(core-probe PRIVATE divivar)
add_dependencies(brimlow-tests core-probe brimlow-cli)

# Each suite writes its results beside the build, where the test command
# finds the skipped tests to list them; a Windows test program names the
# folder on drive Z:, where Wine shows the Unix tree.
if(BRIMLOW_WIN32)
  set(RESULTS_DIR Z:${CMAKE_BINARY_DIR}/results)
else()
  set(RESULTS_DIR ${CMAKE_BINARY_DIR}/results)
endif()
add_test(NAME unit COMMAND brimlow-tests --gtest_output=xml:${RESULTS_DIR}/unit.xml
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
if(BRIMLOW_WIN32)
  set_tests_properties(unit PROPERTIES ENVIRONMENT "${BRIMLOW_WINE_ENV}")
endif()

# The window tests: real windows under Wine on a virtual display.
if(BRIMLOW_WIN32)
  set(GUI_TESTS_RES ${CMAKE_BINARY_DIR}/gui-tests-res.o)
  add_custom_command(OUTPUT ${GUI_TESTS_RES}
      COMMAND ${CMAKE_RC_COMPILER} -O coff -o ${GUI_TESTS_RES} -i ${CMAKE_SOURCE_DIR}/tests/gui/gui-tests.rc
      DEPENDS ${CMAKE_SOURCE_DIR}/tests/gui/gui-tests.rc)
  set_source_files_properties(${GUI_TESTS_RES} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  brimlow_test_program(brimlow-gui-tests
      tests/gui/gui_main.cpp
      tests/gui/gui_support.cpp
      tests/test_support.cpp
      ${TEST_FOLDER_SOURCE}
      tests/gui/test_winhelpr.cpp
      tests/gui/test_message.cpp
      tests/gui/test_blitbox.cpp
      tests/gui/test_resize.cpp
      tests/gui/test_tabctrl.cpp
      ${GUI_TESTS_RES})
  target_link_libraries(brimlow-gui-tests PRIVATE brimlow-toolkit divivar ${BRIMLOW_GTEST})
  add_test(NAME gui COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-display.sh ./brimlow-gui-tests.exe
           --gtest_output=xml:${RESULTS_DIR}/gui.xml
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(gui PROPERTIES ENVIRONMENT "${BRIMLOW_WINE_ENV}" TIMEOUT 300)
endif()

# The program driven as a user drives it, under Wine on a virtual display.
if(BRIMLOW_WIN32)
  brimlow_test_program(brimlow-program-tests
      tests/gui/test_program.cpp
      tests/gui/test_menu.cpp
      tests/gui/test_wording.cpp
      tests/gui/program_support.cpp
      tests/gui/gui_support.cpp
      tests/test_support.cpp
      ${TEST_FOLDER_SOURCE}
      ${BRIMLOW_RES})
  target_link_libraries(brimlow-program-tests PRIVATE brimlow-gui ${BRIMLOW_GTEST})
  target_compile_definitions(brimlow-program-tests PRIVATE SOURCE_DIR="${CMAKE_SOURCE_DIR}" NOMINMAX)
  add_test(NAME program COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-display.sh ./brimlow-program-tests.exe
           --gtest_output=xml:${RESULTS_DIR}/program.xml
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(program PROPERTIES ENVIRONMENT "${BRIMLOW_WINE_ENV}" TIMEOUT 300)
endif()

# Screenshots of the program for people to look at (scripts/screenshots.sh).
if(BRIMLOW_WIN32)
  brimlow_console_program(brimlow-screenshots tests/gui/screenshots.cpp tests/gui/program_support.cpp ${BRIMLOW_RES})
  target_link_libraries(brimlow-screenshots PRIVATE brimlow-gui)
  target_compile_definitions(brimlow-screenshots PRIVATE SOURCE_DIR="${CMAKE_SOURCE_DIR}" NOMINMAX)
endif()
