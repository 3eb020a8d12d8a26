# The window layer (Windows only): the toolkit, Win32 components over the
# system's controls, and the window program.
add_library(brimlow-toolkit STATIC
    divivar/toolkit/winhelpr.cpp
    divivar/toolkit/winhelpr_window.cpp
    divivar/toolkit/message.cpp
    divivar/toolkit/blitbox.cpp
    divivar/toolkit/resize.cpp
    divivar/toolkit/tabctrl.cpp
    divivar/toolkit/trayicon.cpp)
target_include_directories(brimlow-toolkit PUBLIC ${CMAKE_SOURCE_DIR}/divivar/toolkit)
target_link_libraries(brimlow-toolkit PUBLIC divivar comctl32 comdlg32 shell32 ole32 gdi32 user32)

# The window program: its windows in a library (the window tests drive
# them too), the resources and the entry point.
file(GLOB BRIMLOW_ART ${CMAKE_SOURCE_DIR}/app/art/*.png ${CMAKE_SOURCE_DIR}/app/art/*.ico)
# The resources, compiled by mingw's windres into an object linked as it is.
set(BRIMLOW_RES ${CMAKE_BINARY_DIR}/brimlow-res.o)
add_custom_command(OUTPUT ${BRIMLOW_RES}
    COMMAND ${CMAKE_RC_COMPILER} -I${CMAKE_SOURCE_DIR}/app -I${CMAKE_BINARY_DIR}/generated -O coff -i brimlow.rc
            -o ${BRIMLOW_RES}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/app
    DEPENDS app/brimlow.rc app/version.rc ${CMAKE_BINARY_DIR}/generated/version.h app/resource.h
            ${CMAKE_BINARY_DIR}/generated/brimlow.manifest ${BRIMLOW_ART})
set_source_files_properties(${BRIMLOW_RES} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
add_library(brimlow-gui STATIC
    app/window/winmain.cpp
    app/window/winmain_window.cpp
    app/window/winmain_pages.cpp
    app/window/winmain_list.cpp
    app/window/winmain_measure.cpp
    app/window/winmain_add.cpp
    app/window/previewdialog.cpp
    app/window/alsodialog.cpp
    app/window/reportdialog.cpp
    app/window/fields.cpp
    app/window/profiledialog.cpp
    app/window/taskbutton.cpp
    app/window/profilerun.cpp
    app/window/shellmenu.cpp
    app/window/wording.cpp)
target_include_directories(brimlow-gui PUBLIC ${CMAKE_SOURCE_DIR}/app/window)
target_link_libraries(brimlow-gui PUBLIC brimlow-app brimlow-toolkit uuid advapi32)
add_executable(brimlow app/window/main.cpp ${BRIMLOW_RES})
target_link_libraries(brimlow PRIVATE brimlow-gui)
target_link_options(brimlow PRIVATE -mwindows)
configure_file(${CMAKE_SOURCE_DIR}/app/license.txt ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/license.txt COPYONLY)
install(TARGETS brimlow RUNTIME DESTINATION .)
