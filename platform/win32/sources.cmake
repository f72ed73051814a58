# The Windows side of the platform: the RPC runtime and the extensions.
#
#   PAL_WIN32_RPC_PORTABLE   the RPC runtime's portable core (XDR, record
#                            marking, messages): plain C++, also built and
#                            tested on Linux
#   PAL_WIN32_SOURCES        everything the Windows platform library holds,
#                            the portable core included
#   PAL_WIN32_INCLUDE_DIRS   its include directories (rpc/*.h); palrpc.h
#                            comes from platform/ext
# The library links no socket library: Windows Sockets are bound at run
# time from WSOCK32.DLL.  It needs user32 (the serving window).
set(PAL_WIN32_RPC_PORTABLE
  ${CMAKE_CURRENT_LIST_DIR}/rpc/msgcore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/xdrcore.cpp)

set(PAL_WIN32_SOURCES
  ${PAL_WIN32_RPC_PORTABLE}
  ${CMAKE_CURRENT_LIST_DIR}/ext/palrpc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net/wsock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/clnt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/pmapclnt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/pmapsvc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/svccall.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/svcdgram.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/svcreg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/svcserve.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/svcstream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc/xdrnames.cpp)

set(PAL_WIN32_INCLUDE_DIRS ${CMAKE_CURRENT_LIST_DIR}/include)
