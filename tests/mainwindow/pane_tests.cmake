# The panes' model and view on their own, without the window.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(pane_tests pane_model_test.cpp pane_view_test.cpp)
target_link_libraries(pane_tests PRIVATE mainwindow test_support test_support_qt_main Qt6::Test)
gtest_discover_tests(pane_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
