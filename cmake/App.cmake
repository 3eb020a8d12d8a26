# The application layer: the platform-neutral rules every front-end shares,
# the command-line program and what a user gets installed.
# The build's one version for the programs' texts, version resources and
# manifests; the minor number is shown as written ("1.00") and stored as a
# number.
math(EXPR BRIMLOW_VERSION_MINOR "${PROJECT_VERSION_MINOR} + 0")
configure_file(${CMAKE_SOURCE_DIR}/app/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/app/brimlow.manifest.in ${CMAKE_BINARY_DIR}/generated/brimlow.manifest @ONLY)

# The application's platform-neutral part: configuration record and the
# resize rules, shared by the window program and the command-line tool.
add_library(brimlow-app STATIC
    app/config.cpp
    app/config_file.cpp
    app/engine/plan.cpp
    app/engine/focus.cpp
    app/engine/naming.cpp
    app/engine/estimate.cpp
    app/engine/input.cpp
    app/engine/output.cpp
    app/engine/colour.cpp
    app/engine/exif.cpp
    app/engine/measure.cpp
    app/engine/prepare.cpp
    app/engine/copy.cpp
    app/engine/write.cpp
    app/engine/sizelimit.cpp
    app/engine/budget.cpp
    app/engine/gather.cpp
    app/engine/batch.cpp
    app/engine/report.cpp
    app/launch.cpp
    app/language.cpp
    app/lang/en.cpp
    app/lang/de.cpp
    app/lang/fr.cpp
    app/lang/es.cpp
    app/lang/it.cpp
    app/lang/pt_br.cpp
    app/lang/nl.cpp
    app/lang/pl.cpp
    app/lang/ru.cpp
    app/lang/uk.cpp
    app/lang/tr.cpp
    app/lang/ja.cpp
    app/lang/zh_cn.cpp
    app/lang/ko.cpp
    app/lang/ar.cpp)
target_include_directories(brimlow-app PUBLIC ${CMAKE_SOURCE_DIR}/app ${CMAKE_SOURCE_DIR}/app/engine
                                              ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(brimlow-app PUBLIC jpegl pngl webpl tiffl heifl divivar)
# Little CMS: natively Debian's liblcms2-dev; for Windows built from
# Debian's source package into the same prefix as libjpeg-turbo.
if(BRIMLOW_WIN32)
  find_library(BRIMLOW_LCMS NAMES liblcms2.a REQUIRED)
  find_path(BRIMLOW_LCMS_INCLUDE lcms2.h REQUIRED)
  target_include_directories(brimlow-app SYSTEM PUBLIC ${BRIMLOW_LCMS_INCLUDE})
  target_link_libraries(brimlow-app PUBLIC ${BRIMLOW_LCMS})
else()
  pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)
  target_link_libraries(brimlow-app PUBLIC PkgConfig::LCMS2)
endif()

# The settings and profiles the program ships with, beside every program.
foreach(shipped config.xml profiles.xml)
  configure_file(${CMAKE_SOURCE_DIR}/app/${shipped} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${shipped} COPYONLY)
endforeach()

# The console programs' resources on Windows: the window program's manifest
# (UTF-8 names, long paths), the version and the icon.
if(BRIMLOW_WIN32)
  set(BRIMLOW_CLI_RES ${CMAKE_BINARY_DIR}/brimlow-cli-res.o)
  add_custom_command(OUTPUT ${BRIMLOW_CLI_RES}
      COMMAND ${CMAKE_RC_COMPILER} -I${CMAKE_SOURCE_DIR}/app -I${CMAKE_BINARY_DIR}/generated -O coff -i cli.rc
              -o ${BRIMLOW_CLI_RES}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/app
      DEPENDS app/cli.rc app/version.rc ${CMAKE_BINARY_DIR}/generated/version.h
              ${CMAKE_BINARY_DIR}/generated/brimlow.manifest
              app/art/brimlow.ico)
  set_source_files_properties(${BRIMLOW_CLI_RES} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
endif()

# brimlow_console_program(NAME [RESOURCES] SOURCES...): a program that runs
# in a console; on Windows linked for the console subsystem and, with
# RESOURCES, carrying the console programs' resources, so that it runs in
# the same text environment as brimlow-cli.
function(brimlow_console_program name)
  cmake_parse_arguments(PROGRAM "RESOURCES" "" "" ${ARGN})
  add_executable(${name} ${PROGRAM_UNPARSED_ARGUMENTS})
  if(BRIMLOW_WIN32)
    target_link_options(${name} PRIVATE -mconsole)
    if(PROGRAM_RESOURCES)
      target_sources(${name} PRIVATE ${BRIMLOW_CLI_RES})
    endif()
  endif()
endfunction()

# The command-line front-end.
brimlow_console_program(brimlow-cli RESOURCES app/cli.cpp)
target_link_libraries(brimlow-cli PRIVATE brimlow-app)
# The installer's languages and texts from the window's tables, for
# scripts/package.sh.
brimlow_console_program(brimlow-installer-texts app/installer_texts.cpp)
target_link_libraries(brimlow-installer-texts PRIVATE brimlow-app)

# What a user gets (cmake --install; the scripts' one list of shipped
# files): the programs, the settings and profiles they start with, the
# licence, and for Windows the DLLs the programs carry, every built-in
# library's licence and the README with Windows' line ends.
install(TARGETS brimlow-cli RUNTIME DESTINATION .)
install(FILES app/config.xml app/profiles.xml app/license.txt DESTINATION .)
if(BRIMLOW_WIN32)
  foreach(dll ${BRIMLOW_BUNDLED_DLLS})
    install(FILES ${BRIMLOW_${dll}_DLL} DESTINATION .)
  endforeach()
  install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/licenses DESTINATION .)
  file(READ ${CMAKE_SOURCE_DIR}/app/readme-windows.txt BRIMLOW_README)
  string(REPLACE "\n" "\r\n" BRIMLOW_README "${BRIMLOW_README}")
  file(WRITE ${CMAKE_BINARY_DIR}/generated/README.txt "${BRIMLOW_README}")
  install(FILES ${CMAKE_BINARY_DIR}/generated/README.txt DESTINATION .)
endif()

