# The window's zoom and layout arithmetic by table, without a window: the
# fast tier.
quorvel_test(test_layout TIMEOUT 30 SOURCES app/test_layout.cpp LIBS quorvel_layout LABELS "unit;app")

# The start-up check of the platform quirks, each hook taken away in turn.
quorvel_test(test_quirks TIMEOUT 30 SOURCES app/test_quirks.cpp LIBS quorvel_app LABELS "unit;app")

# The viewer window, driven in-process on the offscreen platform: on a
# 96-DPI screen; start-up, the page's text and the layout table again on 72-
# and 144-DPI screens (the latter large enough for the first window), the
# page's text on 48- and 400-DPI ones, the layout table on 288- and 131-DPI
# screens (5 and 10.99 twips to the pixel) and at device pixel ratios 2 and
# 1.5 (and 50, where the canvas stays at 4); the first window and a narrow
# toolbar on a 320 x 200 screen.
quorvel_test(test_window TIMEOUT 60 SOURCES app/test_window.cpp LIBS quorvel_app quorvel_printed_page LABELS app)
target_compile_definitions(test_window PRIVATE REFERENCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
set(window_env "QT_QPA_FONTDIR=;LC_ALL=C.UTF-8")
foreach(run IN ITEMS
        "dpi72|start_up page_text_reads_in_order layout|QT_QPA_PLATFORM=offscreen;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=72"
        "dpi144|start_up page_text_reads_in_order layout|QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/app/large_screen.json;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=144"
        "dpi48|page_text_reads_in_order|QT_QPA_PLATFORM=offscreen;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=48"
        "dpi400|page_text_reads_in_order|QT_QPA_PLATFORM=offscreen;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=400"
        "fine|layout|QT_QPA_PLATFORM=offscreen;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=288"
        "dpi131|layout|QT_QPA_PLATFORM=offscreen;QT_ENABLE_HIGHDPI_SCALING=0;QT_FONT_DPI=131"
        "ratio2|layout toolbar_reads_well canvas_has_device_pixels|QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2"
        "ratio1.5|layout toolbar_reads_well canvas_has_device_pixels|QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=1.5"
        "ratio50|canvas_ratio_is_bounded|QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=50"
        "small_screen|first_window_fits_the_screen narrow_toolbar_keeps_every_command|QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/app/small_screen.json")
    string(REPLACE "|" ";" parts "${run}")
    list(GET parts 0 name)
    list(GET parts 1 functions)
    list(SUBLIST parts 2 -1 env)
    separate_arguments(functions)
    add_test(NAME test_window_${name} COMMAND test_window ${functions})
    set_tests_properties(test_window_${name} PROPERTIES ENVIRONMENT "${env};${window_env}" LABELS app TIMEOUT 30)
endforeach()

# The real program under Xvfb, driven with xdotool; screenshots through Qt on
# the xcb platform. It owns the mouse of its display, so it runs alone.
# Every Xvfb here is started with -noreset: otherwise the last client's
# leaving (an xprop or xdotool that asks once) resets the server, and a
# client that connects meanwhile (the window manager) is turned away.
find_program(XVFB_RUN xvfb-run)
find_program(XDOTOOL xdotool)
if(NOT XVFB_RUN OR NOT XDOTOOL)
    message(FATAL_ERROR "The window's end-to-end test needs xvfb-run and xdotool: install xvfb, xauth and xdotool")
endif()
add_executable(test_window_e2e app/test_window_e2e.cpp)
target_link_libraries(test_window_e2e PRIVATE quorvel_assets Qt6::Gui)
add_test(NAME test_window_e2e
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1600x1200x24 -nolisten tcp -noreset"
            $<TARGET_FILE:test_window_e2e> $<TARGET_FILE:quorvel> ${CMAKE_CURRENT_BINARY_DIR}/window.png)
add_test(NAME test_viewer
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset"
            ${CMAKE_CURRENT_SOURCE_DIR}/app/test_viewer.sh $<TARGET_FILE:quorvel>)
set_tests_properties(test_window_e2e test_viewer PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;LC_ALL=C.UTF-8"
    LABELS "app;e2e" RUN_SERIAL TRUE TIMEOUT 60)

# ./scripts/run without a display: the VNC socket only its user can open,
# the password, the window maximised, and nothing left after Ctrl-C or
# SIGKILL of the script. It starts an X server twice, so it runs alone.
add_test(NAME test_run_vnc
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/test_run_vnc.sh ${PROJECT_SOURCE_DIR}/scripts/run $<TARGET_FILE:quorvel>)
set_tests_properties(test_run_vnc PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8" LABELS "app;e2e" RUN_SERIAL TRUE TIMEOUT 240)

# scripts/setup's first run, with stand-ins for apt-get, dpkg-query and
# cmake: the estimate, the progress, one job for each core.
add_test(NAME test_setup COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/test_setup.sh ${PROJECT_SOURCE_DIR}/scripts/setup)
set_tests_properties(test_setup PROPERTIES LABELS app TIMEOUT 60)

# The window through the real accessibility bus, as a screen reader meets it
# (tests/app/access.txt, the reviewed record), with a window manager that
# gives it the keyboard. It types on its display, so it runs alone.
find_program(DBUS_RUN_SESSION dbus-run-session REQUIRED)
find_program(OPENBOX openbox REQUIRED)
add_test(NAME test_access
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset"
            ${DBUS_RUN_SESSION} -- /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/app/test_access.py
            $<TARGET_FILE:quorvel> ${CMAKE_CURRENT_SOURCE_DIR}/app/access.txt ${CMAKE_CURRENT_BINARY_DIR}/access.txt)
set_tests_properties(test_access PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;QT_QPA_FONTDIR=" LABELS "app;e2e" RUN_SERIAL TRUE TIMEOUT 120)

# Requests with hostile numbers on the accessibility bus (ranges to 2^31,
# ranges within a box) answered at once (tests/app/test_access_bounds.py).
add_test(NAME test_access_bounds
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset"
            ${DBUS_RUN_SESSION} -- /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/app/test_access_bounds.py
            $<TARGET_FILE:quorvel>)
set_tests_properties(test_access_bounds PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;QT_QPA_FONTDIR=" LABELS "app;e2e" TIMEOUT 90)

# Orca itself reads the window (tests/app/test_orca.py): what it says, from
# its own log. It types on its display, so it runs alone.
find_program(ORCA orca REQUIRED)
find_program(SPEECH_DISPATCHER speech-dispatcher REQUIRED)
add_test(NAME test_orca
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset"
            ${DBUS_RUN_SESSION} -- /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/app/test_orca.py
            $<TARGET_FILE:quorvel> ${CMAKE_CURRENT_BINARY_DIR}/orca)
set_tests_properties(test_orca PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;QT_QPA_FONTDIR=" LABELS "app;e2e" RUN_SERIAL TRUE TIMEOUT 420)

# The first frame on small screens under openbox (at scale 2 too), the
# window shown beside a window manager that starts with it (20 starts), and
# the window on a headless Wayland compositor of its own.
find_program(WESTON weston REQUIRED)
foreach(run IN ITEMS "640x480|1" "600x400|1" "1024x768|2")
    string(REPLACE "|" ";" parts "${run}")
    list(GET parts 0 size)
    list(GET parts 1 scale)
    set(name test_screen_${size})
    if(NOT scale EQUAL 1)
        string(APPEND name _scale${scale})
    endif()
    add_test(NAME ${name}
        COMMAND ${XVFB_RUN} -a -s "-screen 0 ${size}x24 -nolisten tcp -noreset"
                ${CMAKE_CURRENT_SOURCE_DIR}/app/test_screens.sh frame $<TARGET_FILE:quorvel>)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8;QT_SCALE_FACTOR=${scale}")
endforeach()
add_test(NAME test_screen_wm_race COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/test_screens.sh race $<TARGET_FILE:quorvel>)
set_tests_properties(test_screen_wm_race PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" LABELS "app;e2e" RUN_SERIAL TRUE TIMEOUT 300)
add_test(NAME test_screen_wayland COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/test_screens.sh wayland $<TARGET_FILE:quorvel>)
set_tests_properties(test_screen_wayland PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8")
set_tests_properties(test_screen_640x480 test_screen_600x400 test_screen_1024x768_scale2 test_screen_wayland
    PROPERTIES LABELS "app;e2e" TIMEOUT 60)
