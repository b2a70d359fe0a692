# The viewer window: driven in-process on the offscreen platform, on
# high-density screens, and as a real program under Xvfb.
quorvel_test(test_window SOURCES app/test_window.cpp app/window_fixture.h LIBS quorvel_app LABELS app)

# The same window at device pixel ratios 2 and 1.5.
quorvel_test(test_window_hidpi SOURCES app/test_window_hidpi.cpp app/window_fixture.h LIBS quorvel_app LABELS app)
set_property(TEST test_window_hidpi APPEND PROPERTY ENVIRONMENT "QT_SCALE_FACTOR=2;QUORVEL_TEST_RATIO=2")
add_test(NAME test_window_hidpi_fractional COMMAND test_window_hidpi)
set_tests_properties(test_window_hidpi_fractional PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=;LC_ALL=C.UTF-8;QT_SCALE_FACTOR=1.5;QUORVEL_TEST_RATIO=1.5"
    LABELS app)
