// vek.decode_transaction and vek.rpc_endpoint: what a transaction does and where it would go.
#pragma once

#include <nanobind/nanobind.h>

namespace vek_api {

// Adds DecodedTransaction, Endpoint, decode_transaction and rpc_endpoint to `m`.
void bind_review(nanobind::module_& m);

}  // namespace vek_api
