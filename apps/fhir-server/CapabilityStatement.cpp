#include "CapabilityStatement.h"

#include <nlohmann/json.hpp>

#include "ApiRequest.h"
#include "trellybridge/trellybridge.h"

namespace trellybridge::fhirserver {
namespace {

using Json = nlohmann::ordered_json;

Json searchParameter(const char* name, const char* type, const char* definition,
                     const std::string& documentation) {
    Json parameter;
    parameter["name"] = name;
    parameter["definition"] = std::string("http://hl7.org/fhir/SearchParameter/") + definition;
    parameter["type"] = type;
    parameter["documentation"] = documentation;
    return parameter;
}

std::string securityText(const Capabilities& c) {
    std::string ways = c.tokens && c.certificates ? "a bearer token or a client certificate"
                       : c.tokens                 ? "a bearer token"
                                                  : "a client certificate";
    return "Every request is authenticated with " + ways + "; every request is audited.";
}

}  // namespace

std::string capabilityStatement(const Capabilities& c) {
    Json patient;
    patient["type"] = "Patient";
    patient["interaction"] = Json::array({{{"code", "read"}}, {{"code", "search-type"}}});
    Json parameters = Json::array();
    parameters.push_back(searchParameter(
        "identifier", "token", "Patient-identifier",
        "The account number (" + c.accountSystem + "|VALUE, or VALUE alone)" +
            (c.nameSearch
                 ? std::string(" or the social security number (") + kSsnSystem + "|NNNNNNNNN)"
                 : std::string()) +
            ": at most one Patient."));
    if (c.nameSearch) {
        parameters.push_back(searchParameter("family", "string", "individual-family",
                                             "Last name, as the practice system searches it."));
        parameters.push_back(searchParameter(
            "given", "string", "individual-given",
            "First name, as the practice system searches it (with family: a filter)."));
        parameters.push_back(searchParameter("birthdate", "date", "individual-birthdate",
                                             "With family or given: YYYY-MM-DD, equal."));
    }
    patient["searchParam"] = std::move(parameters);
    Json everything;
    everything["name"] = "everything";
    everything["definition"] = "http://hl7.org/fhir/OperationDefinition/Patient-everything";
    patient["operation"] = Json::array({everything});

    Json rest;
    rest["mode"] = "server";
    rest["security"]["cors"] = false;
    if (c.certificates)
        rest["security"]["service"] = Json::array(
            {{{"coding",
               Json::array(
                   {{{"system", "http://terminology.hl7.org/CodeSystem/restful-security-service"},
                     {"code", "Certificates"}}})}}});
    rest["security"]["description"] = securityText(c);
    rest["resource"] = Json::array({patient});

    Json statement;
    statement["resourceType"] = "CapabilityStatement";
    statement["status"] = "active";
    statement["date"] = c.date;
    statement["kind"] = "instance";
    statement["software"]["name"] = "TrellyBridge";
    statement["software"]["version"] = tb_version();
    statement["implementation"]["description"] =
        "The practice-management system over " + c.bridge + " in " + c.format + ", read-only";
    statement["fhirVersion"] = "4.0.0";  // R4, as the official R4 JSON schema names it
    statement["format"] = Json::array({"application/fhir+json", "json"});
    statement["rest"] = Json::array({rest});
    return statement.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace trellybridge::fhirserver
