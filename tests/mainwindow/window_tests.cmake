# The window itself, its listings and small dialogs.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(window_tests
  chrome_test.cpp
  keys_menu_test.cpp
  listing_test.cpp
  server_worker_test.cpp
  small_dialogs_test.cpp
  window_test.cpp
)
target_link_libraries(window_tests PRIVATE mainwindow test_support test_support_qt_main Qt6::Test)
gtest_discover_tests(window_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# The desktop notice, inside a session bus of its own with a stand-in notification service.
find_package(Qt6 REQUIRED COMPONENTS DBus)
add_executable(notice_tests notice_test.cpp)
target_link_libraries(notice_tests PRIVATE mainwindow test_support test_support_qt_main Qt6::DBus)
set_target_properties(notice_tests PROPERTIES CROSSCOMPILING_EMULATOR "dbus-run-session;--")
gtest_discover_tests(notice_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
