# The call-protocol server against hostile clients, each case on a host of
# its own.
callmgr_add_gtest(robustness_server_attack_test
  SOURCES server_attack_test.cpp ${PROJECT_SOURCE_DIR}/tests/protocol/runtime_leaks.cpp
  LIBS callmgr_core protocol_rpctest HOST)
