# Quorvel's preview redraw against poppler rendering Quorvel's own printed
# PDF, and against the floor of replaying a recorded QPicture; and the plot
# of redraw time against zoom drawn from its JSON output (scripts/bench).
find_package(PkgConfig REQUIRED)
pkg_check_modules(POPPLER_QT6 REQUIRED IMPORTED_TARGET poppler-qt6)

add_executable(bench_peer bench_peer.cpp)
target_link_libraries(bench_peer PRIVATE quorvel_page Qt6::Gui Qt6::PrintSupport PkgConfig::POPPLER_QT6
                                         benchmark::benchmark)

add_executable(plot_redraw plot_redraw.cpp)
target_link_libraries(plot_redraw PRIVATE Qt6::Gui)
