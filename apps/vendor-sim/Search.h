// The simulated vendor's answer to an enhanced search: a <Result> list of the patients
// that match by identifier, by last or first name, or by social security number.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "SamplePatients.h"

namespace trellybridge::vendorsim {

// Whether a query is a search (it holds a <SearchInfo> section, any case).
bool isSearchRequest(std::string_view query);
// The <Result> for a search: <TransactionID>, then one <Patient> per match, in the order
// of `patients`. SearchIndex 1 matches the account, 2 the last name (the first name when
// the search names no last name; spaces and case do not count), 3 the SSN's digits.
std::string searchAnswer(const std::vector<SamplePatient>& patients, std::string_view query,
                         int transactionId);

}  // namespace trellybridge::vendorsim
