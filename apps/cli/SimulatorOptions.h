// The checks vendor-sim's TCP, serial and web-service modes share for their options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Answers.h"
#include "CliSupport.h"
#include "SamplePatients.h"
#include "common/BridgeConfiguration.h"

namespace trellybridge::cli {

inline vendorsim::Format formatOption(const std::string& name) {
    vendorsim::Format format{};
    if (!vendorsim::parseFormat(name, format))
        throw UsageError{"--format " + name + ": not " + formatNameList()};
    return format;
}

inline std::uint16_t portOption(int port) {
    if (port < 0 || port > 65535)
        throw UsageError{"--port " + std::to_string(port) + ": not a TCP port"};
    return static_cast<std::uint16_t>(port);
}

// The patients of --patients FILE, or `builtIn` when none was given.
inline std::vector<vendorsim::SamplePatient> patientsOption(
    const std::string& file, std::vector<vendorsim::SamplePatient> builtIn) {
    if (file.empty()) return builtIn;
    std::string error;
    auto patients = vendorsim::readPatientFile(file, error);
    if (!patients) throw UsageError{error};
    return *patients;
}

}  // namespace trellybridge::cli
