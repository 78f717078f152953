# The help window's tests. Included from tests/ui/CMakeLists.txt, next to kelvane_qt.
add_executable(kelvane_helpform_tests ${CMAKE_CURRENT_LIST_DIR}/HelpFormTest.cpp)
set_target_properties(kelvane_helpform_tests PROPERTIES AUTOMOC ON)
target_link_libraries(kelvane_helpform_tests PRIVATE kelvane_qt Qt6::Test)
add_test(NAME kelvane_helpform_tests COMMAND kelvane_helpform_tests)
set_tests_properties(kelvane_helpform_tests PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
