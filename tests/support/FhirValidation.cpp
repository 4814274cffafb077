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
    std::string problems;
    const std::vector<std::string> validators[] = {
        {TRELLYBRIDGE_PYTHON, TRELLYBRIDGE_FHIR_VALIDATOR, TRELLYBRIDGE_FHIR_SCHEMA, file},
        {TRELLYBRIDGE_NODE, TRELLYBRIDGE_FHIR_INVARIANTS, TRELLYBRIDGE_FHIR_MODULES, file},
    };
    for (const std::vector<std::string>& arguments : validators) {
        ProgramRun run;
        run.arguments = arguments;
        run.timeoutMs = 120000;         // guards a hang: a few seconds are expected
        run.memoryBytes = 16ull << 30;  // Node.js reserves far more than it uses
        ProgramResult result = runProgram(run);
        if (result.exitCode != 0)
            problems += arguments[1] + " exit " + std::to_string(result.exitCode) + ":\n" +
                        result.out + result.err;
    }
    fs::removeTree(folder);
    return problems;
}

}  // namespace trellybridge::testing
