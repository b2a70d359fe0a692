quorvel_test(test_page_commands SOURCES page/test_page_commands.cpp LIBS quorvel_page LABELS page)
