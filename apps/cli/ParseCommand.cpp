// trellybridge parse: runs a saved vendor answer through the answer dispatcher and the
// parser a request uses, with the site's settings, and prints the patient.
#include <cstdlib>
#include <iostream>
#include <vector>

#include "Cli.h"
#include "CliSupport.h"
#include "Commands.h"
#include "common/AnswerLimit.h"
#include "common/FailureNote.h"
#include "component/CommandLine.h"
#include "platform/FileSystem.h"
#include "platform/Toolkit.h"

namespace trellybridge::cli {

int parseAnswer(const ParseOptions& o, std::ostream& out, std::ostream& err) {
    GetPatientArguments arguments = settingsFrom(o.configFile, o.settings);
    const std::string output = o.json ? "json" : o.output;
    checkFhirAccountSystem(output, o.fhirAccountSystem);
    arguments.VendorFormatType = o.format;
    if (arguments.NetworkBridgeType.isEmptyText()) arguments.NetworkBridgeType = "FOLDERS";
    if (arguments.TimeDelay.isEmpty()) arguments.TimeDelay = "1000";
    if (!o.noDefaults) arguments.fillDefaults();
    // An answer is held to the size a request would accept from the vendor, and only a
    // regular file is read: a directory or a device such as /dev/zero is a usage error.
    const size_t limit = maxAnswerBytes();
    std::string answer;
    if (o.input == "-") {
        std::vector<char> chunk(64 * 1024);
        while (answer.size() <= limit && std::cin) {
            size_t room = limit - answer.size();
            size_t want = room < chunk.size() ? room + 1 : chunk.size();
            std::cin.read(chunk.data(), static_cast<std::streamsize>(want));
            answer.append(chunk.data(), static_cast<size_t>(std::cin.gcount()));
        }
        if (answer.size() > limit)
            throw UsageError{"the answer on standard input is larger than " +
                             std::to_string(limit) + " bytes"};
    } else {
        fs::RegularFileRead file = fs::readRegularFile(o.input, limit);
        if (!file)
            throw UsageError{"cannot read answer file '" + escapeControls(o.input) +
                             "': " + file.reason};
        answer = std::move(*file.content);
    }

    // ReturnPatient keeps an insurance log: a diagnosis must not touch the site's own.
    std::string scratch = fs::makeTemporaryFolder("trellybridge-parse");
    if (scratch.empty())
        throw UsageError{"cannot make a scratch folder in the temporary folder (TMPDIR=" +
                         escapeControls(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "") +
                         "); without one, parse would write the site's logs"};
    fs::mapDrive('C', scratch);
    installProgressToolkit(err, false);
    TrellyBridgeComm comm;
    bool found = readAnswerAtHand(comm, arguments, answer);
    printPatient(comm, found, output, out, o.fhirAccountSystem);
    if (!found) printNotFound(comm, err);
    ui::setToolkit(nullptr);
    fs::mapDrive('C', "");
    fs::removeTree(scratch);
    return exitStatus(found, comm);
}

}  // namespace trellybridge::cli
