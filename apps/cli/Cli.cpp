#include "Cli.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "CliSupport.h"
#include "Commands.h"
#include "common/AnswerLimit.h"
#include "common/DebugLog.h"
#include "common/Pace.h"
#include "formats/Formats.h"
#include "platform/Process.h"
#include "platform/SerialPort.h"
#include "platform/Toolkit.h"
#include "trellybridge/TrellyBridgeComm.h"
#include "trellybridge/trellybridge.h"

namespace trellybridge::cli {
namespace {

struct GetPatientOptions {
    std::optional<std::string> configFile;
    std::vector<std::string> settings;
    bool json = false;
    std::string output = "text";
    std::string fhirAccountSystem;
    bool quiet = false;
    bool noDefaults = false;
    std::string ui = defaultToolkitName();
};

int getPatient(const GetPatientOptions& options, std::ostream& out, std::ostream& err) {
    GetPatientArguments arguments = settingsFrom(options.configFile, options.settings);
    std::string output = options.json ? "json" : options.output;
    checkFhirAccountSystem(output, options.fhirAccountSystem);
    auto toolkit = installToolkit(err, options.quiet, options.ui);
    try {
        completeSettings(arguments, options.noDefaults);
    } catch (const UsageError&) {
        ui::setToolkit(nullptr);
        throw;
    }

    TrellyBridgeComm comm;
    bool found = false;
    {
        WaitingLine waiting(err, options.quiet);
        found = comm.GetPatient(arguments).isTrue();
    }
    if (!found) comm.ReturnPatient();  // publishes errors that ended the request early too
    printPatient(comm, found, output, out, options.fhirAccountSystem);
    if (!found) printNotFound(comm, err);
    if (!options.quiet) printDebugLogPlace(err);
    comm.closeConnection();
    ui::setToolkit(nullptr);
    return exitStatus(found, comm);
}

// A command ended by a signal (the terminal closed, Ctrl-C, a service stopped) first gives
// the serial line back the settings it had and asks the vendor programs it started to
// end, then ends as the signal asks. The handlers the command found come back after it.
class EndsCleanlyOnSignals {
public:
    EndsCleanlyOnSignals() {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            previous_[i] = std::signal(kSignals[i], onSignal);
    }
    ~EndsCleanlyOnSignals() {
        for (size_t i = 0; i < std::size(kSignals); ++i) std::signal(kSignals[i], previous_[i]);
    }
    EndsCleanlyOnSignals(const EndsCleanlyOnSignals&) = delete;
    EndsCleanlyOnSignals& operator=(const EndsCleanlyOnSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGHUP, SIGINT, SIGTERM};
    static void onSignal(int signal) {
        serial::restoreOpenLines();
        process::endStartedPrograms();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    void (*previous_[std::size(kSignals)])(int) = {};
};

// The pace of this command's requests: --pace or --fast, else TRELLYBRIDGE_PACE, else fast
// (a person at the command line waits for nothing that has already happened).
Pace commandPace(const std::string& option, bool fast) {
    if (fast) return Pace::Fast;
    if (!option.empty()) return paceNamed(option).value_or(Pace::Fast);
    const char* named = std::getenv("TRELLYBRIDGE_PACE");
    if (!named || !*named) return Pace::Fast;
    if (std::optional<Pace> pace = paceNamed(named)) return *pace;
    throw UsageError{"TRELLYBRIDGE_PACE " + escapeControls(named) +
                     ": the paces are standard and fast"};
}

// The command's pace for the requests of this thread while the command runs.
class CommandPace {
public:
    explicit CommandPace(Pace pace) : former_(setThreadPace(pace)) {}
    ~CommandPace() { setThreadPace(former_); }
    CommandPace(const CommandPace&) = delete;
    CommandPace& operator=(const CommandPace&) = delete;

private:
    std::optional<Pace> former_;
};

// The names --format accepts: every format of the table.
std::vector<std::string> formatNames() {
    std::vector<std::string> names;
    for (const formats::Format& format : formats::formats()) names.emplace_back(format.name);
    return names;
}

}  // namespace

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "trellybridge: fetch a patient's registration data from the practice-management system"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("trellybridge ") + tb_version(),
                         "Print the version and exit");

    GetPatientOptions getOptions;
    CLI::App* get = app.add_subcommand("get-patient", "Fetch one patient with the given settings");
    get->add_option_function<std::string>(
        "--config", [&getOptions](const std::string& file) { getOptions.configFile = file; },
        "File of NAME=VALUE lines (# comments)");
    get->add_option("--set", getOptions.settings, "One GetPatient setting, NAME=VALUE (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    get->add_flag("--json", getOptions.json, "Print one JSON object with all 119 properties");
    addOutputOption(*get, getOptions.output, getOptions.fhirAccountSystem);
    get->add_flag("--quiet", getOptions.quiet, "No progress lines on stderr");
    get->add_flag("--no-defaults", getOptions.noDefaults,
                  "Pass the settings given nowhere empty, as a host calling GetPatient does");
    get->add_option("--ui", getOptions.ui, "headless (default) or qt");
    bool fast = false;
    std::string pace;
    auto addPace = [&](CLI::App& command) {
        CLI::Option* chosen =
            command
                .add_option("--pace", pace,
                            "fast (the default): each step runs as soon as what it waits for "
                            "has happened; standard: the schedule the settings describe")
                ->transform(CLI::IsMember({"standard", "fast"}, CLI::ignore_case));
        command.add_flag("--fast", fast, "The same as --pace fast")->excludes(chosen);
    };
    addPace(*get);
    get->footer(
        "NAME is one of the fifty GetPatient argument names (any case); PatientID,\n"
        "NetworkBridgeType, VendorFormatType and the vendor's address are required, and the\n"
        "others take working defaults (trellybridge --help-all lists them).\n"
        "Exit status: 0 patient found, 1 not on file, 2 usage or settings error, 3 the vendor\n"
        "could not be reached or did not answer.");

    GetPatientDataOptions dataOptions;
    CLI::App* data = app.add_subcommand(
        "get-patient-data", "Search patients by identifier, name or SSN with an XML request");
    data->add_option("--request", dataOptions.request,
                     "The request file, or - for standard input (the default)");
    data->add_flag("--quiet", dataOptions.quiet, "No progress lines on stderr");
    addPace(*data);
    data->footer(
        "Prints the result exactly as GetPatientData returns it (on a terminal, control\n"
        "characters escaped).\n"
        "Exit status: 0 when it lists a patient, 1 otherwise, 2 usage error,\n"
        "3 the vendor could not be reached or did not answer.");

    VendorSimOptions simOptions;
    CLI::App* sim = app.add_subcommand("vendor-sim",
                                       "Serve sample patients as a vendor system would (loopback)");
    addVendorSimOptions(*sim, simOptions);

    CLI::App* demoCommand =
        app.add_subcommand("demo", "Fetch sample patients from the built-in vendor simulator");
    std::string demoUi = defaultToolkitName();
    demoCommand->add_option("--ui", demoUi, "headless (default) or qt");

    ParseOptions parseOptions;
    CLI::App* parse = app.add_subcommand(
        "parse", "Read a saved vendor answer as a request would, and print the patient");
    parse->add_option("--format", parseOptions.format, "HL7, STANDARD, SCAN or XML")
        ->required()
        ->check(CLI::IsMember(formatNames(), CLI::ignore_case));
    parse->add_option_function<std::string>(
        "--config", [&parseOptions](const std::string& file) { parseOptions.configFile = file; },
        "File of NAME=VALUE lines (# comments)");
    parse
        ->add_option("--set", parseOptions.settings,
                     "One GetPatient setting, NAME=VALUE (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    parse->add_flag("--json", parseOptions.json, "Print one JSON object with all 119 properties");
    parse->add_flag("--no-defaults", parseOptions.noDefaults,
                    "Read with the settings given nowhere empty, as GetPatient takes them");
    addOutputOption(*parse, parseOptions.output, parseOptions.fhirAccountSystem);
    parse->add_option("answer", parseOptions.input, "The answer file, or - for standard input")
        ->required();

    ServeOptions serveOptions;
    CLI::App* serveCommand = app.add_subcommand(
        "serve", "Serve the practice system's patients as a read-only FHIR R4 API (TLS)");
    addServeOptions(*serveCommand, serveOptions);

    app.set_help_all_flag("--help-all",
                          "Every command's options, the settings, exit status, environment, files");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp& e) {
        out << app.help("", CLI::AppFormatMode::All) << helpReference();
        return 0;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            app.exit(e, out, err);
            return 0;
        }
        std::string first = argc > 1 ? argv[1] : "";
        bool unknownCommand =
            !first.empty() && first[0] != '-' &&
            app.get_subcommands([&](CLI::App* s) { return s->check_name(first); }).empty();
        err << "trellybridge: "
            << (unknownCommand ? "unknown command '" + first + "'" : std::string(e.what()))
            << "\nRun 'trellybridge --help' for usage.\n";
        return kUsage;
    }

    try {
        for (const std::string& problem : {answerLimitProblem(), debugLogLimitProblem()})
            if (!problem.empty()) throw UsageError{problem};
        // The service waits for its signals itself and paces each vendor thread.
        if (serveCommand->parsed()) return serve(serveOptions, out, err);
        CommandPace paced(commandPace(pace, fast));
        EndsCleanlyOnSignals signals;
        if (get->parsed()) return getPatient(getOptions, out, err);
        if (data->parsed()) return getPatientData(dataOptions, out, err);
        if (sim->parsed()) return vendorSim(simOptions, out, err);
        if (demoCommand->parsed()) return demo(out, err, demoUi);
        if (parse->parsed()) return parseAnswer(parseOptions, out, err);
    } catch (const UsageError& e) {
        err << "trellybridge: " << e.message << "\n";
        return kUsage;
    }
    return kUsage;
}

}  // namespace trellybridge::cli
