#include "review_details.h"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <optional>
#include <string>

#include "values.h"

namespace nb = nanobind;

namespace vek_api {
namespace {

using vek_lib::DecodedInstruction;
using vek_lib::DecodedTransaction;

const Fields kInstructionFields = {"program_id", "program", "kind",     "source",   "destination", "authority",
                                   "amount",     "mint",    "decimals", "accounts", "data_length", "text"};

void bind_instruction(nb::module_& m) {
  nb::class_<DecodedInstruction> ix(
      m, "SolanaInstruction",
      "One instruction of a Solana transaction as a person reviews it. The System Program's\n"
      "transfer and the Token and Token-2022 programs' transfer and transfer_checked are\n"
      "decoded; the other instructions are named by their program. An account an address\n"
      "table supplies reads \"(account <i> from an address table)\".");
  ix.def_ro("program_id", &DecodedInstruction::program_id, "The program's address (base58).")
      .def_ro("program", &DecodedInstruction::program,
              "\"system\", \"token\" or \"token-2022\"; None for another program.")
      .def_ro("kind", &DecodedInstruction::kind, "\"transfer\" or \"transfer_checked\"; None when not decoded.")
      .def_ro("source", &DecodedInstruction::source,
              "The paying account (token transfers: the source token account).")
      .def_ro("destination", &DecodedInstruction::destination,
              "The receiving account (token transfers: the receiving token account).")
      .def_ro("authority", &DecodedInstruction::authority,
              "Token transfers: the owner or delegate of the source token account.")
      .def_prop_ro(
          "amount", [](const DecodedInstruction& d) { return decimal_int(d.amount); },
          nb::for_getter(nb::sig("def amount(self) -> int | None")),
          "The amount in base units: lamports (System Program) or the token's smallest unit.")
      .def_ro("mint", &DecodedInstruction::mint, "transfer_checked: the token's mint.")
      .def_ro("decimals", &DecodedInstruction::decimals, "transfer_checked: the decimals the instruction names.")
      .def_ro("accounts", &DecodedInstruction::accounts, "How many accounts the instruction names.")
      .def_ro("data_length", &DecodedInstruction::data_length, "The length of its data in bytes.")
      .def_ro("text", &DecodedInstruction::text,
              "The line the review shows, e.g. \"System Program: transfer 0.5 SOL from <a> to <b>\".");
  value_methods(ix, "SolanaInstruction", kInstructionFields);
  state_methods(ix, &DecodedInstruction::program_id, &DecodedInstruction::program, &DecodedInstruction::kind,
                &DecodedInstruction::source, &DecodedInstruction::destination, &DecodedInstruction::authority,
                &DecodedInstruction::amount, &DecodedInstruction::mint, &DecodedInstruction::decimals,
                &DecodedInstruction::accounts, &DecodedInstruction::data_length, &DecodedInstruction::text);
}

}  // namespace

void bind_review_details(nb::module_& m, nb::class_<DecodedTransaction>& decoded) {
  bind_instruction(m);
  decoded.def_ro("currency", &DecodedTransaction::currency,
                 "The chain's currency (Chain.currency): \"ETH\", \"POL\", \"BNB\", \"SOL\", ...")
      .def_ro("decimals", &DecodedTransaction::decimals,
              "The decimals of the currency's smallest unit (Chain.decimals).")
      .def_ro("value_text", &DecodedTransaction::value_text,
              "EVM: the value in the chain's currency, exact, e.g. \"1.5 POL\".")
      .def_prop_ro(
          "max_cost", [](const DecodedTransaction& d) { return decimal_int(d.max_cost); },
          nb::for_getter(nb::sig("def max_cost(self) -> int | None")),
          "EVM: the most the transaction can take from the account, in wei: value + gas_limit *\n"
          "max_fee_per_gas (type 2) or * gas_price (type 1).")
      .def_ro("max_cost_text", &DecodedTransaction::max_cost_text,
              "EVM: max_cost in the chain's currency, exact, e.g. \"0.000021 ETH\".")
      .def_ro("instruction_details", &DecodedTransaction::instruction_details,
              "Solana: each instruction, in order (SolanaInstruction); [] for EVM.")
      .def_ro("review", &DecodedTransaction::review,
              "What a person is shown before signing, as (label, text) pairs in order. EVM: chain id,\n"
              "nonce, to, value, gas limit, gas price (type 1) or max fee and priority fee (type 2),\n"
              "max cost, data. Solana: fee payer, signatures, instructions, then \"instruction <k>\"\n"
              "(from 1) for each instruction.");
}

}  // namespace vek_api
