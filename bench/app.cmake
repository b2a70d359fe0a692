# The viewer window: start-up to the first page as a whole process (through
# quorvel-startup-harness) and its peak memory, resizes in a fit mode and at 100 %.
add_executable(quorvel-startup-harness startup_harness.cpp)
target_link_libraries(quorvel-startup-harness PRIVATE quorvel_app)

add_executable(bench_app bench_app.cpp)
target_link_libraries(bench_app PRIVATE quorvel_app quorvel_bench_main)
target_compile_definitions(bench_app PRIVATE QUORVEL_HARNESS="$<TARGET_FILE:quorvel-startup-harness>")
add_dependencies(bench_app quorvel-startup-harness)

# Start-up as a user sees it: the page's first ink on an X screen, Quorvel
# against MuPDF's viewer in turns (scripts/bench runs it under an Xvfb of its own).
find_package(X11 REQUIRED)
add_executable(quorvel-first-ink first_ink.cpp)
target_link_libraries(quorvel-first-ink PRIVATE X11::X11 X11::Xext)
