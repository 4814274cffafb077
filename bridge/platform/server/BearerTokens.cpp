#include "platform/server/BearerTokens.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/FileSystem.h"

namespace trellybridge::platform::server {
namespace {

constexpr std::size_t kMaxFileBytes = std::size_t{1024} * 1024;
constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxTokenLength = 512;

std::array<unsigned char, 32> digestOf(std::string_view text) {
    std::array<unsigned char, 32> digest{};
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
    return digest;
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

// The characters of an RFC 6750 b64token.
bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("-._~+/=").find(c) != std::string_view::npos;
}

std::string_view trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

BearerTokens BearerTokens::parse(std::string_view text, std::vector<std::string>& problems) {
    BearerTokens tokens;
    std::set<std::string> names;
    std::set<std::array<unsigned char, 32>> digests;
    std::size_t number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') continue;
        std::string where = "line " + std::to_string(number);
        size_t blank = line.find_first_of(" \t");
        std::string_view name = line.substr(0, blank);
        std::string_view token =
            blank == std::string_view::npos ? std::string_view() : trimmed(line.substr(blank));
        if (name.size() > kMaxNameLength || !std::all_of(name.begin(), name.end(), isNameChar)) {
            problems.push_back(where +
                               ": the name must be at most 64 letters, digits, '.', '_' "
                               "or '-'");
            continue;
        }
        if (token.size() < kMinTokenLength || token.size() > kMaxTokenLength ||
            !std::all_of(token.begin(), token.end(), isTokenChar)) {
            problems.push_back(where + ": the token of " + std::string(name) + " must be " +
                               std::to_string(kMinTokenLength) +
                               " to 512 letters, digits or -._~+/= (openssl rand -hex 32 makes "
                               "one)");
            continue;
        }
        if (tokens.entries_.size() == kMaxTokens) {
            problems.push_back(where + ": more than " + std::to_string(kMaxTokens) + " tokens");
            break;
        }
        Entry entry{std::string(name), digestOf(token)};
        if (!names.insert(entry.name).second) {
            problems.push_back(where + ": the name " + entry.name + " is given twice");
            continue;
        }
        if (!digests.insert(entry.digest).second) {
            problems.push_back(where + ": the token of " + entry.name +
                               " is another name's token too");
            continue;
        }
        tokens.entries_.push_back(std::move(entry));
    }
    if (tokens.entries_.empty() && problems.empty()) problems.emplace_back("it holds no token");
    return tokens;
}

BearerTokens BearerTokens::read(const std::string& path, std::vector<std::string>& problems) {
    fs::RegularFileRead file = fs::readRegularFile(path, kMaxFileBytes);
    std::string where = "the tokens file " + path;
    if (!file) {
        problems.push_back(where + ": " + file.reason);
        return {};
    }
    if (!file.ownedByUser)
        problems.push_back(where + " must belong to the account the service runs as");
    if ((file.mode & 077) != 0)
        problems.push_back(where + " may be read or written by others (chmod 600 it)");
    std::vector<std::string> lines;
    BearerTokens tokens = parse(*file.content, lines);
    for (const std::string& line : lines) problems.emplace_back(where).append(", ").append(line);
    return problems.empty() ? tokens : BearerTokens{};
}

std::optional<std::string> BearerTokens::nameOf(std::string_view presented) const {
    // Digests are compared, so that neither the tokens' lengths nor their contents
    // change the time taken; every entry is looked at.
    std::array<unsigned char, 32> digest = digestOf(presented);
    const Entry* match = nullptr;
    for (const Entry& entry : entries_)
        if (CRYPTO_memcmp(entry.digest.data(), digest.data(), digest.size()) == 0) match = &entry;
    if (!match) return std::nullopt;
    return match->name;
}

}  // namespace trellybridge::platform::server
