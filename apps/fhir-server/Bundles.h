// The resources the API answers with, made from the component's FHIR Bundle (a
// "collection" whose entries have urn:uuid full URLs and refer to each other by them). The
// Patient gets the id of the account number it was asked by (see PatientIds.h); every
// other resource gets the UUID of its full URL as its id. Full URLs and references stay
// as the component made them, so that every reference still resolves inside its Bundle
// and no address of this service (which a proxy may change) is written into a resource.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace trellybridge::fhirserver {

// The Patient of `bundle` alone, with `id`; its references into the Bundle (the general
// practitioner) become the display of what they named. Empty text when there is none.
std::string patientAlone(const std::string& bundle, const std::string& id);

// The whole of `bundle` as $everything answers it: a "searchset" whose Patient matched and
// whose other entries are included, each resource with its id.
std::string everything(const std::string& bundle, const std::string& id);

// The Patient of `bundle` as an entry of a searchset (its full URL, and the resource as
// patientAlone makes it); empty text when there is none.
std::string searchEntry(const std::string& bundle, const std::string& id);

// A "searchset" of these entries (searchEntry's), each a match, with `total` (which may pass
// their number: `warning`, when not empty, then says why in an OperationOutcome entry).
std::string searchset(const std::vector<std::string>& entries, std::size_t total,
                      const std::string& warning = {});

}  // namespace trellybridge::fhirserver
