# Many invitations at once: three inviting hosts (the foreign peer) and one
# answering application on host 1.  The allocators are counted through the
# linker (--wrap), so what the library holds afterwards is measured exactly.
if(TARGET foreign_peer)
  callmgr_add_gtest(robustness_load_test
    SOURCES load_test.cpp alloc_count.cpp ${PROJECT_SOURCE_DIR}/tests/api/calltest.cpp
            ${PROJECT_SOURCE_DIR}/tests/protocol/runtime_leaks.cpp
    LIBS callmgr_core test_support NET 4)
  target_link_options(robustness_load_test PRIVATE
    -Wl,--wrap=HeapAlloc -Wl,--wrap=HeapFree -Wl,--wrap=GlobalAlloc -Wl,--wrap=GlobalFree
    -Wl,--wrap=LocalAlloc -Wl,--wrap=LocalFree)
  target_compile_definitions(robustness_load_test PRIVATE
    FOREIGN_PEER="$<TARGET_FILE:foreign_peer>")
  add_dependencies(robustness_load_test foreign_peer)
endif()
