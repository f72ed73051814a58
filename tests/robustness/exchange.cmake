# One exchange against peers that never answer or trickle, and a peer that
# restarts on another port: on an isolated host of its own without rpcbind,
# since the test serves port 111 itself.
callmgr_add_gtest(robustness_exchange_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/exchange_test.cpp
          ${PROJECT_SOURCE_DIR}/tests/protocol/runtime_leaks.cpp
  LIBS callmgr_core test_support HOST_ARGS --no-rpcbind)
