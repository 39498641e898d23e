# Connecting: the server text, Connect and Disconnect with and without
# dial-up, and the options button.
add_executable(connect_tests
  connect_server_text_test.cpp
  connect_test.cpp
  connect_live_test.cpp
  connect_dialup_test.cpp
  connect_options_test.cpp
  connect_password_store_test.cpp
  connect_tls_test.cpp
)
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(connect_tests PRIVATE mainwindow test_support test_support_ftp test_support_qt_main Qt6::Test)
gtest_discover_tests(connect_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# Saved passwords with a keyring that answers: every test runs through with_keyring.sh, which
# starts a session bus and an unlocked GNOME Keyring of its own.
add_executable(keyring_tests connect_keyring_test.cpp)
target_link_libraries(keyring_tests PRIVATE mainwindow qt6keychain test_support test_support_ftp
  test_support_qt_main)
set_target_properties(keyring_tests PROPERTIES
  CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/support/with_keyring.sh)
gtest_discover_tests(keyring_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
