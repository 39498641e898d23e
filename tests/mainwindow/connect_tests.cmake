# Connecting: the dial-up service, the server text, Connect and Disconnect with and without
# dial-up, and the options button.
add_executable(connect_tests
  connect_nmcli_test.cpp
  connect_server_text_test.cpp
  connect_test.cpp
  connect_dialup_test.cpp
  connect_options_test.cpp
  connect_password_store_test.cpp
  connect_tls_test.cpp
)
target_link_libraries(connect_tests PRIVATE mainwindow test_support test_support_ftp test_support_qt_main)
gtest_discover_tests(connect_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
