// vek.families() and vek.message_formats(): what each chain family supports, from the
// library's own tables (vek_lib::families()).
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "bindings.h"
#include "errors.h"
#include "lists.h"
#include "values.h"
#include "vek/lib/queries.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::FamilyInfo;

const Fields kFamilyFields = {"name",           "curve",           "coin_type",   "default_path",
                              "default_chain",  "chains",          "message_formats", "key_formats",
                              "sign_transaction", "decode",        "build",       "broadcast"};

std::vector<FamilyInfo> family_table() { return vek_lib::families(); }

std::vector<std::string_view> formats_of(const nb::str& chain) {
  return take(vek_lib::message_format_names(text(chain)));
}

void bind_family_facts(nb::class_<FamilyInfo>& family) {
  family.def_ro("name", &FamilyInfo::name, kept("The family's name: " + family_names() + "."))
      .def_ro("curve", &FamilyInfo::curve, "The curve of its keys: \"secp256k1\" or \"ed25519\".")
      .def_ro("coin_type", &FamilyInfo::coin_type, "The SLIP-44 coin type of its default chain.")
      .def_ro("default_path", &FamilyInfo::default_path,
              "The default derivation path, with \"{index}\" for the account index.")
      .def_ro("default_chain", &FamilyInfo::default_chain,
              "The chain of the family's accounts in a wallet (the first of `chains`).")
      .def_ro("chains", &FamilyInfo::chains, "Every named chain of the family, in the order of known_chains().")
      .def_ro("message_formats", &FamilyInfo::message_formats,
              "The formats Session.sign_message accepts for its chains, the standard (the default) first.")
      .def_ro("key_formats", &FamilyInfo::key_formats,
              "The formats Vault.export_key and Vault.import_key accept for its keys.");
}

void bind_family_capabilities(nb::class_<FamilyInfo>& family) {
  family
      .def_ro("sign_transaction", &FamilyInfo::sign_transaction,
              "Whether Session.sign_transaction signs its transactions.")
      .def_ro("decode", &FamilyInfo::decode, "Whether decode_transaction reads its transactions for review.")
      .def_ro("build", &FamilyInfo::build, "Whether transactions can be built from an intent.")
      .def_ro("broadcast", &FamilyInfo::broadcast,
              "Whether signed transactions can be submitted (Session.send, broadcast).");
}

}  // namespace

void bind_families(nb::module_& m) {
  nb::class_<FamilyInfo> family(m, "Family", "A chain family and what the library does for it (public data only).");
  bind_family_facts(family);
  bind_family_capabilities(family);
  value_methods(family, "Family", kFamilyFields);
  // Pickled by name, and read back from the library's table.
  family.def(
          "__getstate__", [](const FamilyInfo& f) { return nb::make_tuple(f.name); },
          nb::sig("def __getstate__(self) -> tuple[str]"))
      .def("__setstate__", [](FamilyInfo& self, const std::tuple<std::string>& state) {
        for (const FamilyInfo& f : vek_lib::families()) {
          if (f.name == std::get<0>(state)) {
            new (&self) FamilyInfo(f);
            return;
          }
        }
        throw nb::value_error("no chain family of that name");
      });

  m.def("families", &family_table, kept("The chain families, in their fixed order: " + family_names(" and ") + "."));
  m.def("message_formats", &formats_of, "chain"_a,
        "The message formats of `chain`'s family, the standard (format=None) first.\n\n"
        "Raises:\n    InvalidInputError: unknown chain.");
}

}  // namespace vek_api
