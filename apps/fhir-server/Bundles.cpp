#include "Bundles.h"

#include <map>
#include <nlohmann/json.hpp>

namespace trellybridge::fhirserver {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kUuidScheme = "urn:uuid:";

Json parsed(const std::string& text) {
    return Json::parse(text, nullptr, false);
}

std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The resource with its id right after its type, as FHIR writes them.
Json withId(const Json& resource, const std::string& id) {
    Json ided;
    ided["resourceType"] = resource["resourceType"];
    ided["id"] = id;
    for (const auto& [key, value] : resource.items())
        if (key != "resourceType" && key != "id") ided[key] = value;
    return ided;
}

std::string uuidOf(const Json& entry) {
    std::string url = entry.value("fullUrl", "");
    return url.rfind(kUuidScheme, 0) == 0 ? url.substr(kUuidScheme.size()) : url;
}

Json* patientEntry(Json& bundle) {
    if (!bundle.is_object() || !bundle["entry"].is_array()) return nullptr;
    for (Json& entry : bundle["entry"])
        if (entry["resource"]["resourceType"] == "Patient") return &entry;
    return nullptr;
}

// What a resource of the Bundle is called where a reference to it is shown alone.
std::string displayOf(const Json& resource) {
    if (resource.contains("name")) {
        const Json& name = resource["name"];
        const Json& first = name.is_array() && !name.empty() ? name[0] : name;
        if (first.is_object() && first.contains("text")) return first["text"].get<std::string>();
        if (first.is_string()) return first.get<std::string>();
    }
    return resource.value("resourceType", "resource");
}

// The Patient with its id, out of its Bundle: a reference into the Bundle (the general
// practitioner) would lead nowhere, and becomes the display of what it named.
Json onItsOwn(const Json& bundle, const Json& resource, const std::string& id) {
    Json patient = withId(resource, id);
    if (!patient.contains("generalPractitioner")) return patient;
    std::map<std::string, std::string> displays;
    for (const Json& other : bundle["entry"])
        displays[other.value("fullUrl", "")] = displayOf(other["resource"]);
    for (Json& reference : patient["generalPractitioner"]) {
        std::string target = reference.value("reference", "");
        reference.erase("reference");
        if (!reference.contains("display")) reference["display"] = displays[target];
    }
    return patient;
}

}  // namespace

std::string patientAlone(const std::string& bundleText, const std::string& id) {
    Json bundle = parsed(bundleText);
    Json* entry = patientEntry(bundle);
    return entry ? dumped(onItsOwn(bundle, (*entry)["resource"], id)) : std::string();
}

std::string everything(const std::string& bundleText, const std::string& id) {
    Json bundle = parsed(bundleText);
    if (!patientEntry(bundle)) return {};
    Json entries = Json::array();
    for (const Json& entry : bundle["entry"]) {
        bool patient = entry["resource"]["resourceType"] == "Patient";
        Json ided;
        ided["fullUrl"] = entry["fullUrl"];
        ided["resource"] = withId(entry["resource"], patient ? id : uuidOf(entry));
        ided["search"]["mode"] = patient ? "match" : "include";
        entries.push_back(std::move(ided));
    }
    Json searchset;
    searchset["resourceType"] = "Bundle";
    searchset["type"] = "searchset";
    searchset["total"] = 1;
    searchset["entry"] = std::move(entries);
    return dumped(searchset);
}

std::string searchEntry(const std::string& bundleText, const std::string& id) {
    Json bundle = parsed(bundleText);
    Json* entry = patientEntry(bundle);
    if (!entry) return {};
    Json found;
    found["fullUrl"] = (*entry)["fullUrl"];
    found["resource"] = onItsOwn(bundle, (*entry)["resource"], id);
    return dumped(found);
}

std::string searchset(const std::vector<std::string>& entries, std::size_t total,
                      const std::string& warning) {
    Json bundle;
    bundle["resourceType"] = "Bundle";
    bundle["type"] = "searchset";
    bundle["total"] = total;
    Json listed = Json::array();
    for (const std::string& text : entries) {
        Json entry = parsed(text);
        if (!entry.is_object()) continue;
        entry["search"]["mode"] = "match";
        listed.push_back(std::move(entry));
    }
    if (!warning.empty()) {
        Json issue;
        issue["severity"] = "warning";
        issue["code"] = "too-costly";
        issue["diagnostics"] = warning;
        Json outcome;
        outcome["resourceType"] = "OperationOutcome";
        outcome["issue"] = Json::array({issue});
        Json entry;
        entry["resource"] = std::move(outcome);
        entry["search"]["mode"] = "outcome";
        listed.push_back(std::move(entry));
    }
    if (!listed.empty()) bundle["entry"] = std::move(listed);
    return dumped(bundle);
}

}  // namespace trellybridge::fhirserver
