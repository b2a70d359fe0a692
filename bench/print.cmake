# The print command to a PDF file, the printer dialog answered at once.
add_executable(bench_print bench_print.cpp)
target_link_libraries(bench_print PRIVATE quorvel_printing quorvel_bench_main)
