# The viewer window, driven in-process on the offscreen platform: on a
# 96-DPI screen; its layout table again on 288- and 131-DPI screens (5 and
# 10.99 twips to the pixel) and at device pixel ratios 2 and 1.5; the first
# window and a narrow toolbar on a 320 x 200 screen.
quorvel_test(test_window SOURCES app/test_window.cpp LIBS quorvel_app LABELS app)
set(window_env "QT_QPA_FONTDIR=;LC_ALL=C.UTF-8")
foreach(run IN ITEMS
        "fine|layout|QT_QPA_PLATFORM=offscreen;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=288"
        "dpi131|layout|QT_QPA_PLATFORM=offscreen;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=131"
        "ratio2|layout toolbar_reads_well canvas_has_device_pixels|QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2"
        "ratio1.5|layout toolbar_reads_well canvas_has_device_pixels|QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=1.5"
        "small_screen|first_window_fits_the_screen narrow_toolbar_keeps_every_command|QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/app/small_screen.json")
    string(REPLACE "|" ";" parts "${run}")
    list(GET parts 0 name)
    list(GET parts 1 functions)
    list(SUBLIST parts 2 -1 env)
    separate_arguments(functions)
    add_test(NAME test_window_${name} COMMAND test_window ${functions})
    set_tests_properties(test_window_${name} PROPERTIES ENVIRONMENT "${env};${window_env}" LABELS app)
endforeach()

# The real program under Xvfb, driven with xdotool; screenshots through Qt on
# the xcb platform. It owns the mouse of its display, so it runs alone.
find_program(XVFB_RUN xvfb-run)
find_program(XDOTOOL xdotool)
if(NOT XVFB_RUN OR NOT XDOTOOL)
    message(FATAL_ERROR "The window's end-to-end test needs xvfb-run and xdotool: install xvfb, xauth and xdotool")
endif()
add_executable(test_window_e2e app/test_window_e2e.cpp)
target_link_libraries(test_window_e2e PRIVATE quorvel_assets Qt6::Gui)
add_test(NAME test_window_e2e
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1600x1200x24 -nolisten tcp"
            $<TARGET_FILE:test_window_e2e> $<TARGET_FILE:quorvel> ${CMAKE_CURRENT_BINARY_DIR}/window.png)
add_test(NAME test_viewer
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24 -nolisten tcp"
            ${CMAKE_CURRENT_SOURCE_DIR}/app/test_viewer.sh $<TARGET_FILE:quorvel>)
set_tests_properties(test_window_e2e test_viewer PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;LC_ALL=C.UTF-8"
    LABELS "app;e2e" RUN_SERIAL TRUE TIMEOUT 120)

# ./scripts/run without a display: the VNC password, the port check, and
# nothing left after SIGKILL of the script. It starts an X server, so it runs
# alone.
add_test(NAME test_run_vnc
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/test_run_vnc.sh ${PROJECT_SOURCE_DIR}/scripts/run $<TARGET_FILE:quorvel>)
set_tests_properties(test_run_vnc PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8" LABELS "app;e2e" RUN_SERIAL TRUE TIMEOUT 120)
