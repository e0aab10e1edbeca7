// The wallet operations behind the Python functions, by concern. Every operation reads
// the vault afresh, keeps no state between calls, and returns its result or a VekLibError.
// Absent optional values take the defaults: passphrase "", index 0, 12 words, UTF-8
// message encoding, the configured RPC endpoint, the default vault directory.
#pragma once

#include "vek/lib/caller.h"
#include "vek/lib/derivation.h"
#include "vek/lib/error.h"
#include "vek/lib/interchange.h"
#include "vek/lib/secrets.h"
#include "vek/lib/signing.h"
#include "vek/lib/types.h"
#include "vek/lib/wallets.h"
