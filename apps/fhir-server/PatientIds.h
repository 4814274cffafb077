// The account number a client may name, and the Patient id that stands for it. An id is
// the account number with every character other than a letter, a digit or '-' written as
// '.' and its two hexadecimal digits ("ABC_7" is "ABC.5F7", "A.1" is "A.2E1"): a FHIR id
// ([A-Za-z0-9-.]{1,64}) that turns back into exactly one account number.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace trellybridge::fhirserver {

inline constexpr std::size_t kMaxAccountLength = 64;

// Why `account` is no account number this service asks a vendor for: empty, longer than
// kMaxAccountLength, or holding a character outside printable ASCII or one that would
// change the vendor's query or a file name (| ^ ~ \ & < > " ' / and the blank); or made
// of dots alone. Empty text when it is one.
std::string accountProblem(std::string_view account);

// The id of an account number; nullopt when it would pass 64 characters.
std::optional<std::string> idOfAccount(std::string_view account);
// The account number an id stands for; nullopt when the text is no id of this scheme or
// names no account number accountProblem accepts.
std::optional<std::string> accountOfId(std::string_view id);

}  // namespace trellybridge::fhirserver
