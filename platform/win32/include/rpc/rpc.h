/*
 * rpc/rpc.h - the ONC RPC programming interface of the Windows runtime.
 */
#ifndef PAL_RPC_RPC_H
#define PAL_RPC_RPC_H

#include <rpc/types.h>
#include <rpc/xdr.h>
#include <rpc/auth.h>
#include <rpc/rpc_msg.h>
#include <rpc/clnt.h>
#include <rpc/svc.h>
#include <rpc/pmap_prot.h>
#include <rpc/pmap_clnt.h>

#define NULLPROC ((rpcproc_t)0)

#endif
