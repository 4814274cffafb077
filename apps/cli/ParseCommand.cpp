// trellybridge parse: runs a saved vendor answer through the answer dispatcher and the
// parser a request uses, with the site's settings, and prints the patient.
#include <fstream>
#include <iostream>
#include <sstream>

#include "Cli.h"
#include "CliSupport.h"
#include "Commands.h"
#include "common/ThreadState.h"
#include "component/Configuration.h"
#include "platform/FileSystem.h"
#include "platform/Toolkit.h"
#include "session/SessionWindow.h"

namespace trellybridge::cli {

int parseAnswer(const ParseOptions& o, std::ostream& out, std::ostream& err) {
    GetPatientArguments arguments = settingsFrom(o.configFile, o.settings);
    arguments.VendorFormatType = o.format;
    if (arguments.NetworkBridgeType.isEmptyText()) arguments.NetworkBridgeType = "FOLDERS";
    if (arguments.TimeDelay.isEmpty()) arguments.TimeDelay = "1000";
    std::string answer;
    if (o.input == "-") {
        std::ostringstream content;
        content << std::cin.rdbuf();
        answer = content.str();
    } else {
        std::ifstream in(o.input, std::ios::binary);
        if (!in) throw UsageError{"cannot read answer file '" + o.input + "'"};
        std::ostringstream content;
        content << in.rdbuf();
        answer = content.str();
    }

    // ReturnPatient keeps an insurance log: a diagnosis must not touch the site's own.
    std::string scratch = fs::makeTemporaryFolder("trellybridge-parse");
    fs::mapDrive('C', scratch);
    installProgressToolkit(err, false);
    ThreadState& state = threadState();
    state.patientFound = false;
    state.record.clear();
    // The settings go through the normalisation a request applies, page steps aside.
    BridgeConfiguration& config = state.config;
    configuration::storeArguments(config, arguments);
    bool ready = configuration::adjustForBridge(config);
    if (ready && config.VendorFormatType.toText() == "HL7")
        ready = configuration::checkCompanyNumber(config) == configuration::CompanyCheck::Passed;
    configuration::assignBridgePaths(config);
    configuration::applyFinalDefaults(config);

    TrellyBridgeComm comm;
    bool found = false;
    if (ready) {
        session::SessionWindow& window = session::sessionWindow();
        window.load();
        window.SerialTimer.setEnabled(false);
        window.NetworkTimer.setEnabled(false);
        found = window.processResponse(answer) && state.patientFound;
        session::unloadSessionWindow();
    }
    state.patientFound = found;
    comm.ReturnPatient();
    printPatient(comm, found, o.json, out);
    if (!found) printNotFound(comm, err);
    ui::setToolkit(nullptr);
    fs::mapDrive('C', "");
    fs::removeTree(scratch);
    return found ? kFound : kNotFound;
}

}  // namespace trellybridge::cli
