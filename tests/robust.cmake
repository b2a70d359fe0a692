# Robustness: the Draw_Text fuzzer (its seeds hold the texts it once found
# faults in Qt with), a stress test of the window's layout, and memcheck.

# The fuzzer is a clang build of its own (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) made along with the main build, and run for a
# bounded time as the test "fuzz_draw_text". New inputs it finds stay in the
# build tree; the committed seeds in tests/fuzz/corpus are only read. A crash
# is left as <build>/tests/fuzz/crash-*, to become a seed.
# Not in a sanitizer build: the fuzzer carries its own sanitizers already.
if(NOT QUORVEL_SANITIZE)
    include(ExternalProject)
    find_program(QUORVEL_CLANGXX NAMES clang++ clang++-14 REQUIRED)
    set(fuzz_dir ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
    ExternalProject_Add(fuzz_draw_text_build
        SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/fuzz
        BINARY_DIR ${fuzz_dir}
        CMAKE_GENERATOR Ninja
        CMAKE_ARGS -DCMAKE_CXX_COMPILER=${QUORVEL_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
        # One job: the outer build already keeps both cores busy.
        BUILD_COMMAND ${CMAKE_COMMAND} --build ${fuzz_dir} -j1
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS ${fuzz_dir}/fuzz_draw_text ${fuzz_dir}/fuzz_read_form)
    # The sub-build runs again only when a source of it changed: its own
    # files, the drawing layer it compiles and the test headers it includes.
    file(GLOB fuzz_sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/CMakeLists.txt ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${PROJECT_SOURCE_DIR}/draw/CMakeLists.txt ${PROJECT_SOURCE_DIR}/draw/*.cpp ${PROJECT_SOURCE_DIR}/draw/*.h
        ${PROJECT_SOURCE_DIR}/app/output/pdf_form_reader.cpp ${PROJECT_SOURCE_DIR}/app/output/pdf_form_module.h)
    ExternalProject_Add_StepDependencies(fuzz_draw_text_build build ${fuzz_sources})
    file(MAKE_DIRECTORY ${fuzz_dir}/corpus ${fuzz_dir}/forms)
    add_test(NAME fuzz_draw_text
        COMMAND ${fuzz_dir}/fuzz_draw_text -max_total_time=20 -timeout=10 -rss_limit_mb=2048
                -print_final_stats=1 -artifact_prefix=${fuzz_dir}/
                ${fuzz_dir}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus)
    set_tests_properties(fuzz_draw_text PROPERTIES
        LABELS fuzz
        TIMEOUT 90
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=;LC_ALL=C.UTF-8;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/robust/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1")
    # The returned form's reader, from small PDF forms of the shapes the
    # readers save (seeds in tests/fuzz/forms).
    add_test(NAME fuzz_read_form
        COMMAND ${fuzz_dir}/fuzz_read_form -max_total_time=20 -timeout=10 -rss_limit_mb=2048
                -print_final_stats=1 -artifact_prefix=${fuzz_dir}/
                ${fuzz_dir}/forms ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/forms)
    set_tests_properties(fuzz_read_form PROPERTIES LABELS fuzz TIMEOUT 90
        ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/robust/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1")
endif()

# 2,000 random window sizes with zoom clicks, the page box and scrolling in
# between (a function of the window's test): the canvas always matches the
# zoom, and nothing reaches stderr.
add_test(NAME test_layout_stress COMMAND test_window random_session_keeps_the_canvas_true)
set_tests_properties(test_layout_stress PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=;LC_ALL=C.UTF-8;QUORVEL_STRESS=1"
    LABELS robust TIMEOUT 300)

# memcheck over a session with the real window (start-up, every zoom mode,
# resizes, scrolling, a minimized window, Exit and the close box), taken from
# the window's tests: no memory error and no leak of ours. Not in a sanitizer build, whose programs
# valgrind cannot run.
if(NOT QUORVEL_SANITIZE)
    find_program(VALGRIND valgrind REQUIRED)
    add_test(NAME test_window_valgrind
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/robust/valgrind.sh ${CMAKE_CURRENT_BINARY_DIR}/test_window_valgrind.log
                $<TARGET_FILE:test_window> redraws_only_when_the_zoom_changes scrolling_moves_the_canvas_and_draws_nothing
                ending)
    set_tests_properties(test_window_valgrind PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=;LC_ALL=C.UTF-8;VALGRIND=${VALGRIND}"
        LABELS valgrind
        TIMEOUT 300)
endif()
