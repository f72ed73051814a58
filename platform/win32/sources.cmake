# The Windows side of the platform: the RPC runtime and the extensions.
#
#   PAL_WIN32_RPC_PORTABLE   the RPC runtime's portable core (XDR, record
#                            marking, messages): plain C++, also built and
#                            tested on Linux
#   PAL_WIN32_SOURCES        everything the Windows platform library holds,
#                            the portable core included
#   PAL_WIN32_INCLUDE_DIRS   its include directories (rpc/*.h)
set(PAL_WIN32_RPC_PORTABLE
  ${CMAKE_CURRENT_LIST_DIR}/rpc/msgcore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/xdrcore.cpp)

set(PAL_WIN32_SOURCES
  ${PAL_WIN32_RPC_PORTABLE}
  ${CMAKE_CURRENT_LIST_DIR}/rpc/xdrnames.cpp)

set(PAL_WIN32_INCLUDE_DIRS ${CMAKE_CURRENT_LIST_DIR}/include)
