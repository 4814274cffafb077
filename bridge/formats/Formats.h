// The table of formats: one row for each format a vendor answers in, with how to ask
// (the request builder), how to read (the answer reader the dispatcher calls) and the
// working defaults of its settings. The dispatcher, the request builder, the settings
// pages, the host's defaults and the command line read their formats from here.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "common/BridgeConfiguration.h"
#include "formats/Codecs.h"

namespace trellybridge::formats {

struct Format {
    FormatKind kind;
    std::string_view name;  // as VendorFormatType gives it, compared exactly
    // Reads an answer into the context's record, timed; says whether it is to be shown and
    // the session ended (see dispatchAnswer).
    ParseResult (*read)(std::string_view answer, const BridgeConfiguration& config,
                        ParseContext& context);
    request::BuiltRequest (*build)(const BridgeConfiguration& config, platform::Clock& clock);
    // The working defaults a host is given: VendorRequestTag, EOFCharacter, EOLCharacter
    // and EOFRequest.
    std::string_view requestTag, endOfAnswer, endOfLine, endOfRequest;
    // What follows a request when EOFRequest is not set; empty: the setting as it is.
    std::string_view unsetEndOfRequest;
};

// Every format, in the order the settings pages offer them.
std::span<const Format> formats();
// The row of a name or kind; nullptr when there is none.
const Format* formatNamed(std::string_view name);
const Format* formatOf(FormatKind kind);

}  // namespace trellybridge::formats
