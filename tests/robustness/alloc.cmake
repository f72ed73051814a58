# Running out of memory at every allocation of the entries and of the
# invited side.  The allocators are counted through the linker (--wrap), so
# every block the library keeps shows.  Host B answers with cmcall and
# invites with the foreign peer.
if(TARGET cmcall AND TARGET foreign_peer)
  set(robustness_wrap
      -Wl,--wrap=HeapAlloc -Wl,--wrap=HeapFree -Wl,--wrap=GlobalAlloc -Wl,--wrap=GlobalFree
      -Wl,--wrap=LocalAlloc -Wl,--wrap=LocalFree)
  callmgr_add_gtest(robustness_alloc_test
    SOURCES alloc_test.cpp alloc_count.cpp ${PROJECT_SOURCE_DIR}/tests/api/calltest.cpp
            ${PROJECT_SOURCE_DIR}/tests/protocol/runtime_leaks.cpp
    LIBS callmgr_core test_support paltesting PAIR)
  target_link_options(robustness_alloc_test PRIVATE ${robustness_wrap})
  target_compile_definitions(robustness_alloc_test PRIVATE
    CMCALL_PROGRAM="$<TARGET_FILE:cmcall>" FOREIGN_PEER="$<TARGET_FILE:foreign_peer>")
  add_dependencies(robustness_alloc_test cmcall foreign_peer)
endif()
