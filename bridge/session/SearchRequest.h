// The texts of an enhanced search: the request sent to the vendor, built from the
// SearchInfo section of the host's request, and the result returned to the host, built
// from the vendor's answer.
#pragma once

#include <string>
#include <string_view>

#include "common/BridgeConfiguration.h"

namespace trellybridge::session {

struct SearchRequest {
    std::string text;         // the section with the index element and the company number
    std::string companyName;  // the company searched in: given, split off or the default
};

// The search request from `section` (spaces already removed) and the search criteria of
// `config`: the index element of SearchOn after <SearchInfo>, and, unless CompanyName is
// given, the company number split off the search key (or the site's default) after
// <CompanyID>. Tags are found in any case; a missing tag gets nothing inserted. Built from
// the same section, the request is the same every time.
SearchRequest buildSearchRequest(const BridgeConfiguration& config, std::string_view section);

// The result for a vendor answer: its <Result> element with one <RecordCount>, the number
// of patients it lists, after </TransactionID> (or first when there is none; any count the
// vendor sent is removed), or, without one, the answer and `enhancedError` as the error
// form, or the "No records found" form.
std::string enhancedResultFor(std::string_view answer, std::string_view enhancedError);

// The patients a result lists: its <Patient> elements (attributes allowed), not counting
// those inside an <Error> or <Message> element.
int listedPatients(std::string_view result);

}  // namespace trellybridge::session
