# The viewer window frmMain (library quorvel_app, so tests can drive it) and
# the program quorvel.
add_library(quorvel_app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/accessible.cpp
    ${CMAKE_CURRENT_LIST_DIR}/accessible.h
    ${CMAKE_CURRENT_LIST_DIR}/controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controls.h
    ${CMAKE_CURRENT_LIST_DIR}/frm_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_main.h
)
target_include_directories(quorvel_app PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_app PUBLIC quorvel_printing quorvel_page quorvel_draw quorvel_assets Qt6::Widgets Qt6::DBus)

add_executable(quorvel ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(quorvel PRIVATE quorvel_app)
target_link_options(quorvel PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>) # as packaged
install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
