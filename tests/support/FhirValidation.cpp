#include "support/FhirValidation.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/FileSystem.h"
#include "support/RunProgram.h"

namespace trellybridge::testing {

std::string fhirProblems(const std::map<std::string, std::string>& bundles) {
    nlohmann::json all = nlohmann::json::object();
    for (const auto& [name, text] : bundles) {
        nlohmann::json bundle = nlohmann::json::parse(text, nullptr, false);
        if (bundle.is_discarded()) return name + ": not JSON";
        all[name] = std::move(bundle);
    }
    std::string folder = fs::makeTemporaryFolder("trellybridge-fhir");
    std::string file = folder + "/bundles.json";
    std::ofstream(file) << all.dump();
    ProgramRun run;
    run.arguments = {TRELLYBRIDGE_PYTHON, TRELLYBRIDGE_FHIR_VALIDATOR, TRELLYBRIDGE_FHIR_SCHEMA,
                     file};
    run.timeoutMs = 120000;  // guards a hang: a few seconds are expected
    ProgramResult result = runProgram(run);
    fs::removeTree(folder);
    if (result.exitCode == 0) return {};
    return "validator exit " + std::to_string(result.exitCode) + ":\n" + result.out + result.err;
}

}  // namespace trellybridge::testing
