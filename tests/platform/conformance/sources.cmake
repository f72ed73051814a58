# The conformance tests: the same list builds against the platform layer and,
# cross-compiled, against Win32 itself.
set(CONFORMANCE_TESTS
  window_test.cpp
  message_test.cpp
  listbox_test.cpp
  memory_test.cpp
  timer_test.cpp
  gdi_test.cpp
)
