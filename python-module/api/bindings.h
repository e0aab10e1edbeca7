// The parts of vek._vek, one per bound class or concern; NB_MODULE (module.cpp) calls each once.
#pragma once

#include <nanobind/nanobind.h>

namespace vek_lib {
class Session;
}  // namespace vek_lib

namespace vek_api {

void bind_results(nanobind::module_& m);       // results.cpp: Account, Wallet, Signature, SignedTransaction
void bind_chains(nanobind::module_& m);        // chains.cpp: Chain, known_chains
void bind_families(nanobind::module_& m);      // families.cpp: Family, families, message_formats
void bind_session(nanobind::module_& m);       // session.cpp: Session
// session_evm.cpp: Session.sign_transaction of a mapping, sign_signable_message, unsafe_sign_hash
void bind_session_evm(nanobind::class_<vek_lib::Session>& session);
void bind_vault(nanobind::module_& m);         // vault.cpp: Vault
void bind_verification(nanobind::module_& m);  // verification.cpp: recover_address, verify_*
void bind_functions(nanobind::module_& m);     // functions.cpp: preset_path, derive_address, broadcast
// sends.cpp: Cancel, Receipt, Session.send and Session.wait (called by bind_session)
void bind_sends(nanobind::module_& m, nanobind::class_<vek_lib::Session>& session);
// async.cpp: Vault.unlock_async, Session.send_async, Session.wait_async
void bind_async(nanobind::module_& m);

// ephemeral.cpp: Session.from_mnemonic, Session.from_private_key (bind_session calls it).
void bind_ephemeral(nanobind::class_<vek_lib::Session>& session);

}  // namespace vek_api
