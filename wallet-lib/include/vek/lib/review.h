// What a user checks before a secret is used: what a transaction does (decode.h), where
// it would be sent (endpoint.h), and the public key an account signs with (interchange.h).
#pragma once

#include "vek/lib/decode.h"
#include "vek/lib/derivation.h"
#include "vek/lib/endpoint.h"
#include "vek/lib/interchange.h"
