// The bearer tokens a service accepts, each under a name that the audit log shows in its
// place. The file holds "NAME TOKEN" lines ('#' starts a comment line); it must belong to
// the account the service runs as and be readable by no one else, since anyone who can
// read it can read every patient.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trellybridge::platform::server {

class BearerTokens {
public:
    // The shortest token accepted: 128 bits as hexadecimal or base64 text.
    static constexpr std::size_t kMinTokenLength = 22;
    static constexpr std::size_t kMaxTokens = 1000;

    // The tokens of the file's text; `problems` gets one sentence per line that is no
    // "NAME TOKEN" (names of letters, digits, '.', '_' and '-'; tokens of the characters a
    // bearer token may hold, at least kMinTokenLength of them), a name or token given twice,
    // or more than kMaxTokens lines.
    static BearerTokens parse(std::string_view text, std::vector<std::string>& problems);
    // The file read as the service reads it: a regular file of at most 1 MiB, owned by this
    // process's user, with no permission for group or others. Problems name the file.
    static BearerTokens read(const std::string& path, std::vector<std::string>& problems);

    // The name of the token presented, compared with every token in time that does not
    // depend on where they differ; nullopt when none matches.
    std::optional<std::string> nameOf(std::string_view presented) const;
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string name;
        std::array<unsigned char, 32> digest{};  // SHA-256 of the token
    };
    std::vector<Entry> entries_;
};

}  // namespace trellybridge::platform::server
