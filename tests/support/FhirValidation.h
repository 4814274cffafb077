// FHIR Bundles checked by an independent validator: the official R4 JSON schema (which
// scripts/setup fetches; the build passes its path) run by python3-jsonschema, plus the
// rule that every reference resolves to an entry of its Bundle.
#pragma once

#include <map>
#include <string>

namespace trellybridge::testing {

// Checks every Bundle (name -> JSON text) in one run of the validator: "" when all pass,
// else a line per problem naming its Bundle.
std::string fhirProblems(const std::map<std::string, std::string>& bundles);

}  // namespace trellybridge::testing
