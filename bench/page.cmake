# Build_Page on the preview at 50 %, 100 % and 220 %, and printed to a PDF.
add_executable(bench_page bench_page.cpp)
target_link_libraries(bench_page PRIVATE quorvel_page Qt6::PrintSupport quorvel_bench_main)

# quorvel-render's PNG: size and time at each zlib level and row filter.
add_executable(bench_png bench_png.cpp)
target_link_libraries(bench_png PRIVATE quorvel_page quorvel_png quorvel_bench_main)
