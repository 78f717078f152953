# The help page's tests. Included from tests/qt/CMakeLists.txt, next to kelvane_qt.
add_executable(kelvane_helppage_tests ${CMAKE_CURRENT_LIST_DIR}/HelpPageTest.cpp)
set_target_properties(kelvane_helppage_tests PROPERTIES AUTOMOC ON)
target_link_libraries(kelvane_helppage_tests PRIVATE kelvane_qt Qt6::Test)
add_test(NAME kelvane_helppage_tests COMMAND kelvane_helppage_tests)
set_tests_properties(kelvane_helppage_tests PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen LABELS qt)
