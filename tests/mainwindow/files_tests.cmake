# The file handlers: transfer modes, uploads and downloads, navigation, folders, deletion,
# permissions and rename, against the real servers when the test command started them.
add_executable(files_tests
  files_attribute_dialog_test.cpp
  files_keys_test.cpp
  files_local_test.cpp
  files_remote_test.cpp
  folders_test.cpp
  listing_limits_test.cpp
  live_window_test.cpp
  transfer_mode_test.cpp
  transfer_resume_test.cpp
  transfer_drop_test.cpp
  transfer_selection_test.cpp
  transfer_wire_test.cpp
  servers_test.cpp
  spread_window_test.cpp
)
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(files_tests PRIVATE mainwindow test_support test_support_ftp test_support_qt_main Qt6::Test)
gtest_discover_tests(files_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# One whole session through the window against each real server.
add_executable(e2e_tests e2e_session_test.cpp)
target_link_libraries(e2e_tests PRIVATE mainwindow test_support test_support_qt_main)
gtest_discover_tests(e2e_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
