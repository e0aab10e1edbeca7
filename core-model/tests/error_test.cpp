// The one error table: well-formed rows, texts filled from the error's fields, the
// phrase-free texts, the exception class of an error, and VEK_TRY's propagation.
#include "vek/core/error.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using vek_core::Error;
using vek_core::ErrorCode;
using vek_core::PhraseFault;

TEST(ErrorTable, RowsAreWellFormed) {
  std::set<std::string_view> names;
  for (const vek_core::ErrorInfo& row : vek_core::error_table()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(&vek_core::error_info(row.code), &row);
    EXPECT_TRUE(names.insert(row.name).second) << "duplicate name";
    EXPECT_EQ(row.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), std::string_view::npos);
    EXPECT_FALSE(row.description.empty());
    // Only the three fields the error carries may appear, each brace closed.
    std::string_view rest = row.format;
    for (std::size_t open; (open = rest.find('{')) != std::string_view::npos;) {
      const std::size_t close = rest.find('}', open);
      ASSERT_NE(close, std::string_view::npos);
      const std::string_view field = rest.substr(open + 1, close - open - 1);
      EXPECT_TRUE(field == "detail" || field == "value" || field == "limit") << field;
      rest.remove_prefix(close + 1);
    }
  }
}

TEST(ErrorTable, DisplayFillsTheFields) {
  EXPECT_EQ(Error::wallet_not_found("main").display(), "wallet not found: 'main'");
  EXPECT_EQ(Error::ambiguous_wallet("w", 3).display(), "ambiguous wallet name 'w' matches 3 wallets; use the wallet ID instead");
  EXPECT_EQ((Error{ErrorCode::Ed25519NonHardened}).display(), "ed25519 requires hardened-only derivation");
  EXPECT_EQ((Error{.code = ErrorCode::Bech32TooLong, .value = 91, .limit = 90}).display(),
            "bech32 string of 91 characters exceeds the limit of 90");
  // A detail that looks like a placeholder is text, not a field.
  EXPECT_EQ(Error::invalid_input("{value} {limit}").display(), "invalid input: {value} {limit}");
  EXPECT_EQ(Error::io_errno(2).display(), "I/O error: No such file or directory (os error 2)");
}

TEST(ErrorTable, PhraseErrorsWithoutThePhrase) {
  const auto phrase = [](PhraseFault fault, std::uint64_t value, std::string word = {}) {
    return Error{.code = ErrorCode::InvalidPhrase, .detail = "the phrase `secret words` is invalid", .value = value,
                 .fault = fault, .word = std::move(word)};
  };
  const std::string p = "invalid mnemonic phrase: ";
  EXPECT_EQ(phrase(PhraseFault::UnknownWord, 3, "abandonn").display_without_phrase(),
            p + "word 3 is not in the BIP-39 English word list: `abandonn`");
  EXPECT_EQ(phrase(PhraseFault::UnknownWord, 2, "abandon\tability").display_without_phrase(),
            p + "word 2 is not in the BIP-39 English word list (not shown: not a run of at most 16 letters; words "
                "are separated by single spaces)");
  EXPECT_EQ(phrase(PhraseFault::UnknownWord, 1, std::string(17, 'a')).display_without_phrase(),
            phrase(PhraseFault::UnknownWord, 1, "a1").display_without_phrase());
  EXPECT_EQ(phrase(PhraseFault::UnknownWord, 13).display_without_phrase(),
            p + "word 13 is empty (words are separated by single spaces, with none before or after)");
  EXPECT_EQ(phrase(PhraseFault::WordCount, 1).display_without_phrase(), p + "1 word; a phrase has 12, 15, 18, 21 or 24 words");
  EXPECT_EQ(phrase(PhraseFault::WordCount, 11).display_without_phrase(), p + "11 words; a phrase has 12, 15, 18, 21 or 24 words");
  EXPECT_EQ(phrase(PhraseFault::Checksum, 12).display_without_phrase(),
            p + "the checksum does not match: a word is wrong, or the words are out of order");
  // Without a fault, or another code, the ordinary text.
  EXPECT_EQ(phrase(PhraseFault::None, 0).display_without_phrase(), p + "the phrase `secret words` is invalid");
  EXPECT_EQ(Error::json("x").display_without_phrase(), "JSON error: x");
}

TEST(ErrorTable, ExceptionClassOfAnError) {
  EXPECT_EQ(vek_core::error_class_of(Error{ErrorCode::DecryptionFailed, "aead::Error"}), "WrongPassphraseError");
  EXPECT_EQ(vek_core::error_class_of(Error{ErrorCode::InvalidParams, "x"}), "CryptoError");
  EXPECT_EQ(vek_core::error_class_of(Error{ErrorCode::DecryptionFailed, "Cannot allocate memory", 1u << 28}),
            vek_core::kOutOfMemoryClass);
  EXPECT_EQ(vek_core::error_class_of(Error{ErrorCode::EncryptionFailed, "Cannot allocate memory", 1u << 28}),
            vek_core::kOutOfMemoryClass);
  EXPECT_EQ(vek_core::error_class_of(Error::io("x")), "VaultError");
  EXPECT_EQ(vek_core::error_class_of(Error{ErrorCode::InvalidPath, "x"}), "DerivationError");
  std::set<std::string_view> classes;
  for (const auto& c : vek_core::error_classes()) classes.insert(c.name);
  EXPECT_TRUE(classes.contains(vek_core::kOutOfMemoryClass) && classes.contains(vek_core::kInternalClass));
}

vek_core::Result<int> half(int n) {
  if (n % 2 != 0) return vek_core::fail(ErrorCode::InvalidInput, std::to_string(n) + " is odd");
  return n / 2;
}

vek_core::Result<int> quarter(int n, int* steps) {
  VEK_TRY(h, half(n));
  ++*steps;
  VEK_TRY_VOID(half(*h));
  ++*steps;
  return *h / 2;
}

TEST(ErrorPropagation, TryReturnsTheFirstErrorAndOtherwiseGoesOn) {
  int steps = 0;
  EXPECT_EQ(quarter(8, &steps), 2);
  EXPECT_EQ(steps, 2);
  steps = 0;
  EXPECT_EQ(quarter(6, &steps).error().display(), "invalid input: 3 is odd");
  EXPECT_EQ(steps, 1);
  steps = 0;
  EXPECT_EQ(quarter(5, &steps).error().display(), "invalid input: 5 is odd");
  EXPECT_EQ(steps, 0);
}

}  // namespace
