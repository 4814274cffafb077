// FHIR Bundles checked by independent validators: the official R4 JSON schema (which
// scripts/setup fetches; the build passes its path) run by python3-jsonschema, with the
// rule that every reference resolves to an entry of its Bundle; and the invariants of the
// R4 definitions (their FHIRPath constraints) evaluated by the fhirpath engine in Node.js.
#pragma once

#include <map>
#include <string>

namespace trellybridge::testing {

// Checks every Bundle (name -> JSON text) in one run of each validator: "" when all pass,
// else a line per problem naming its Bundle.
std::string fhirProblems(const std::map<std::string, std::string>& bundles);

}  // namespace trellybridge::testing
