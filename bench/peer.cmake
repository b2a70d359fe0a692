# Quorvel's preview redraw against poppler and MuPDF rendering Quorvel's own
# printed PDF, and against the floor of clearing the canvas; and the plot of
# redraw time against zoom drawn from its JSON output (scripts/bench).
find_package(PkgConfig REQUIRED)
pkg_check_modules(POPPLER_QT6 REQUIRED IMPORTED_TARGET poppler-qt6)

# Debian's MuPDF is a static library: it brings only itself and its bundled
# extras, and its dependencies are linked by name.
find_library(MUPDF_LIBRARY mupdf REQUIRED)
find_library(MUPDF_THIRD_LIBRARY mupdf-third REQUIRED)
find_path(MUPDF_INCLUDE_DIR mupdf/fitz.h REQUIRED)
pkg_check_modules(MUPDF_DEPS REQUIRED IMPORTED_TARGET
                  freetype2 harfbuzz libopenjp2 jbig2dec gumbo mujs libjpeg libpng zlib)

add_executable(bench_peer bench_peer.cpp)
target_include_directories(bench_peer PRIVATE ${MUPDF_INCLUDE_DIR})
target_link_libraries(bench_peer PRIVATE quorvel_page Qt6::Gui Qt6::PrintSupport PkgConfig::POPPLER_QT6
                                         ${MUPDF_LIBRARY} ${MUPDF_THIRD_LIBRARY} PkgConfig::MUPDF_DEPS
                                         benchmark::benchmark)

add_executable(plot_redraw plot_redraw.cpp)
target_link_libraries(plot_redraw PRIVATE Qt6::Gui)
