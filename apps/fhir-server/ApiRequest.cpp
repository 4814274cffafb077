#include "ApiRequest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

#include "PatientIds.h"
#include "common/Text.h"

namespace trellybridge::fhirserver {
namespace {

using Kind = ApiRequest::Kind;

constexpr std::size_t kMaxNameBytes = 64;
constexpr std::array<std::string_view, 4> kJsonTypes = {
    "application/fhir+json", "application/json+fhir", "application/json", "json"};

ApiRequest refused(int status, std::string why) {
    ApiRequest request;
    request.status = status;
    request.why = std::move(why);
    return request;
}

ApiRequest asking(Kind kind) {
    ApiRequest request;
    request.kind = kind;
    return request;
}

std::string_view trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A name shown back to the client: short, and printable.
std::string shown(std::string_view text) {
    std::string safe;
    for (char c : text.substr(0, 40)) safe += (c >= 0x20 && c < 0x7F) ? c : '?';
    return text.size() > 40 ? safe + "..." : safe;
}

// An absent Accept, or one that takes JSON.
bool acceptsJson(std::string_view accept) {
    if (trimmed(accept).empty()) return true;
    for (size_t start = 0; start <= accept.size();) {
        size_t end = std::min(accept.find(',', start), accept.size());
        std::string range = text::lower(trimmed(accept.substr(start, end - start)));
        range = std::string(trimmed(range.substr(0, range.find(';'))));
        if (range == "*/*" || range == "application/*" ||
            std::find(kJsonTypes.begin(), kJsonTypes.end(), range) != kJsonTypes.end())
            return true;
        start = end + 1;
    }
    return false;
}

// Text a vendor compares names in (Windows-1252), from the UTF-8 of the address: letters
// (Latin-1's too), blanks, '-', '\'', '.' and ','; nullopt for anything else.
std::optional<std::string> vendorName(std::string_view utf8) {
    std::string name;
    for (size_t at = 0; at < utf8.size(); ++at) {
        auto c = static_cast<unsigned char>(utf8[at]);
        if (c >= 0x80) {
            if ((c != 0xC3) || at + 1 >= utf8.size()) return std::nullopt;
            auto next = static_cast<unsigned char>(utf8[++at]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = static_cast<unsigned char>(0xC0 | (next & 0x3F));
            if (c == 0xD7 || c == 0xF7) return std::nullopt;  // x and / signs
        } else if (!std::isalpha(c) &&
                   std::string_view(" -'.,").find(static_cast<char>(c)) == std::string_view::npos) {
            return std::nullopt;
        }
        name += static_cast<char>(c);
    }
    if (trimmed(name).empty() || name.size() > kMaxNameBytes) return std::nullopt;
    return std::string(trimmed(name));
}

bool isDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    int month = (text[5] - '0') * 10 + (text[6] - '0');
    int day = (text[8] - '0') * 10 + (text[9] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

ApiRequest identifierSearch(std::string_view value, const std::string& accountSystem) {
    size_t bar = value.find('|');
    std::string_view system =
        bar == std::string_view::npos ? std::string_view() : value.substr(0, bar);
    std::string_view code = bar == std::string_view::npos ? value : value.substr(bar + 1);
    if (bar != std::string_view::npos && system.empty())
        return refused(400,
                       "an identifier without a system is not held here: give SYSTEM|VALUE, "
                       "or the account number alone");
    if (system == kSsnSystem) {
        std::string digits;
        for (char c : code)
            if (c != '-') digits += c;
        if (digits.size() != 9 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
            return refused(400, "a social security number is nine digits");
        ApiRequest request = asking(Kind::SearchSsn);
        request.ssn = digits;
        return request;
    }
    if (!system.empty() && system != accountSystem)
        return refused(400, "identifiers of the system " + shown(system) +
                                " are not searched here: use " + accountSystem + " or " +
                                kSsnSystem);
    if (std::string problem = accountProblem(code); !problem.empty()) return refused(400, problem);
    ApiRequest request = asking(Kind::SearchAccount);
    request.account = std::string(code);
    return request;
}

ApiRequest nameSearch(const std::map<std::string, std::string>& given) {
    auto value = [&given](const char* name) {
        auto found = given.find(name);
        return found == given.end() ? std::string() : found->second;
    };
    ApiRequest request = asking(Kind::SearchName);
    for (auto [name, into] :
         {std::pair{"family", &request.family}, std::pair{"given", &request.given}}) {
        std::string text = value(name);
        if (text.empty()) continue;
        std::optional<std::string> converted = vendorName(text);
        if (!converted)
            return refused(400, std::string(name) +
                                    " is searched as at most 64 letters, blanks, "
                                    "'-', ''', '.' or ','");
        *into = *converted;
    }
    if (request.family.empty() && request.given.empty())
        return refused(400, "a search names identifier, family or given");
    std::string date = value("birthdate");
    if (date.rfind("eq", 0) == 0) date = date.substr(2);
    if (!date.empty() && !isDate(date))
        return refused(400, "birthdate is searched as YYYY-MM-DD (or eqYYYY-MM-DD)");
    request.birthDate = date;
    return request;
}

ApiRequest search(const platform::server::Request& asked, const std::string& accountSystem) {
    static const std::array<std::string_view, 4> kSearched = {"identifier", "family", "given",
                                                              "birthdate"};
    std::map<std::string, std::string> given;
    for (const auto& [name, value] : asked.parameters) {
        if (name == "_format" || name == "_count") continue;
        if (name.find(':') != std::string::npos)
            return refused(400, "search modifiers are not supported (" + shown(name) + ")");
        if (std::find(kSearched.begin(), kSearched.end(), name) == kSearched.end())
            return refused(400, "the search parameter " + shown(name) +
                                    " is not supported: identifier, family, given, birthdate");
        if (value.empty()) return refused(400, "the search parameter " + name + " is empty");
        if (!given.emplace(name, value).second)
            return refused(400, "the search parameter " + name + " is given more than once");
    }
    if (auto identifier = given.find("identifier"); identifier != given.end()) {
        if (given.size() > 1)
            return refused(400, "identifier is searched alone, without family, given or birthdate");
        return identifierSearch(identifier->second, accountSystem);
    }
    return nameSearch(given);
}

// _format and _count are taken on every request; _format must name JSON.
std::optional<ApiRequest> formatProblem(const platform::server::Request& asked) {
    if (!acceptsJson(asked.accept))
        return refused(406, "this service answers in FHIR JSON (application/fhir+json) only");
    for (const auto& [name, value] : asked.parameters) {
        if (name == "_format" && std::find(kJsonTypes.begin(), kJsonTypes.end(),
                                           text::lower(trimmed(value))) == kJsonTypes.end())
            return refused(406, "this service answers in FHIR JSON only (_format=json)");
        if (name == "_count" &&
            (value.empty() || !std::all_of(value.begin(), value.end(), ::isdigit)))
            return refused(400, "_count is a whole number");
    }
    return std::nullopt;
}

bool onlyFormatParameters(const platform::server::Request& asked) {
    return std::all_of(asked.parameters.begin(), asked.parameters.end(),
                       [](const auto& p) { return p.first == "_format"; });
}

}  // namespace

ApiRequest readApiRequest(const platform::server::Request& asked,
                          const std::string& accountSystem) {
    if (asked.method != "GET" && asked.method != "HEAD") {
        ApiRequest request = refused(405, "this service only reads: GET");
        request.headers.emplace_back("Allow", "GET, HEAD");
        return request;
    }
    if (std::optional<ApiRequest> problem = formatProblem(asked)) return *problem;
    const std::string& path = asked.path;
    if (path == "/metadata") {
        if (!onlyFormatParameters(asked)) return refused(400, "/metadata takes no parameters");
        return asking(Kind::Metadata);
    }
    if (path == "/Patient") return search(asked, accountSystem);
    constexpr std::string_view kPatient = "/Patient/";
    constexpr std::string_view kEverything = "/$everything";
    if (path.rfind(kPatient, 0) != 0)
        return refused(404, "only /metadata and /Patient are served here");
    std::string_view id = std::string_view(path).substr(kPatient.size());
    Kind kind = Kind::Read;
    if (id.size() > kEverything.size() && id.ends_with(kEverything)) {
        id.remove_suffix(kEverything.size());
        kind = Kind::Everything;
    }
    std::optional<std::string> account = accountOfId(id);
    if (!account) return refused(404, "no Patient has this id here");
    if (!onlyFormatParameters(asked))
        return refused(400, "a Patient is read without parameters (but _format)");
    ApiRequest request = asking(kind);
    request.account = *account;
    return request;
}

const char* operationName(Kind kind) {
    switch (kind) {
        case Kind::Metadata: return "metadata";
        case Kind::Read: return "read";
        case Kind::Everything: return "everything";
        case Kind::SearchAccount: return "search-identifier";
        case Kind::SearchSsn: return "search-ssn";
        case Kind::SearchName: return "search-name";
        case Kind::Refused: break;
    }
    return "refused";
}

}  // namespace trellybridge::fhirserver
