# The viewer window frmMain (library quorvel_app, so tests can drive it) and
# the program quorvel.

# Where the program reaches into Qt's or CUPS's insides, in one table, and
# the check that says when one finds nothing to hook.
add_library(quorvel_quirks STATIC
    ${CMAKE_CURRENT_LIST_DIR}/platform_quirks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform_quirks.h
)
target_include_directories(quorvel_quirks PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_quirks PUBLIC Qt6::Core)

# What a screen reader meets beyond Qt's own, and how the window and the
# print command say things to it.
add_library(quorvel_accessible STATIC
    ${CMAKE_CURRENT_LIST_DIR}/accessible.cpp
    ${CMAKE_CURRENT_LIST_DIR}/accessible.h
)
target_include_directories(quorvel_accessible PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_accessible PUBLIC quorvel_page quorvel_draw Qt6::Widgets Qt6::DBus PRIVATE quorvel_quirks)

# The print command's dialogs and messages (the printing is app/output's).
add_library(quorvel_print_command STATIC
    ${CMAKE_CURRENT_LIST_DIR}/print_command.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_command.h
)
target_include_directories(quorvel_print_command PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_print_command PUBLIC quorvel_accessible quorvel_printing quorvel_draw Qt6::Widgets
                      Qt6::PrintSupport PRIVATE quorvel_quirks)

# The window's zoom and layout arithmetic, without a widget, so that a fast
# test can check it by table.
add_library(quorvel_layout STATIC
    ${CMAKE_CURRENT_LIST_DIR}/layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layout.h
)
target_include_directories(quorvel_layout PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_layout PUBLIC quorvel_page quorvel_draw Qt6::Core)

add_library(quorvel_app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controls.h
    ${CMAKE_CURRENT_LIST_DIR}/frm_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_main.h
    ${CMAKE_CURRENT_LIST_DIR}/placement.cpp
    ${CMAKE_CURRENT_LIST_DIR}/placement.h
    ${CMAKE_CURRENT_LIST_DIR}/scrolling.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scrolling.h
    ${CMAKE_CURRENT_LIST_DIR}/start_up.cpp
    ${CMAKE_CURRENT_LIST_DIR}/start_up.h
)
target_include_directories(quorvel_app PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quorvel_app PUBLIC quorvel_layout quorvel_print_command quorvel_page quorvel_draw quorvel_assets quorvel_quirks Qt6::Widgets Qt6::DBus)

add_executable(quorvel ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(quorvel PRIVATE quorvel_app)
target_link_options(quorvel PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>) # as packaged
install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
