#include "PatientIds.h"

#include <algorithm>

namespace trellybridge::fhirserver {
namespace {

constexpr std::string_view kRefused = "|^~\\&<>\"'/ ";
constexpr std::string_view kHex = "0123456789ABCDEF";

bool isPlain(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

int hexValue(char c) {
    size_t at = kHex.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

std::string accountProblem(std::string_view account) {
    if (account.empty()) return "an account number is empty";
    if (account.size() > kMaxAccountLength)
        return "an account number has at most " + std::to_string(kMaxAccountLength) + " characters";
    for (char c : account)
        if (c <= 0x20 || c >= 0x7F || kRefused.find(c) != std::string_view::npos)
            return "an account number is printable ASCII without blanks and without any of "
                   "| ^ ~ \\ & < > \" ' /";
    if (std::all_of(account.begin(), account.end(), [](char c) { return c == '.'; }))
        return "an account number is more than dots";
    return {};
}

std::optional<std::string> idOfAccount(std::string_view account) {
    std::string id;
    for (char c : account) {
        if (isPlain(c)) {
            id += c;
        } else {
            auto byte = static_cast<unsigned char>(c);
            id += '.';
            id += kHex[byte >> 4];
            id += kHex[byte & 0xF];
        }
    }
    if (id.empty() || id.size() > 64) return std::nullopt;
    return id;
}

std::optional<std::string> accountOfId(std::string_view id) {
    if (id.empty() || id.size() > 64) return std::nullopt;
    std::string account;
    for (size_t at = 0; at < id.size(); ++at) {
        char c = id[at];
        if (isPlain(c)) {
            account += c;
            continue;
        }
        if (c != '.' || at + 2 >= id.size()) return std::nullopt;
        int high = hexValue(id[at + 1]), low = hexValue(id[at + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        char decoded = static_cast<char>(high * 16 + low);
        if (isPlain(decoded)) return std::nullopt;  // one account, one id
        account += decoded;
        at += 2;
    }
    if (!accountProblem(account).empty()) return std::nullopt;
    return account;
}

}  // namespace trellybridge::fhirserver
