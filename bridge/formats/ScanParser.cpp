// The SCAN answer: one "TAG=value" line per item; P_ tags describe the patient, G_ the
// guarantor, I_ the one insurance this format carries.
#include <map>

#include "common/Text.h"
#include "formats/Codecs.h"
#include "formats/RecordReader.h"
#include "platform/Toolkit.h"

namespace trellybridge::formats {
namespace {

using F = RecordField;
using I = InsuranceField;

struct Target {
    F field;
    I insured;
    bool isInsurance;
};

const std::map<std::string, std::vector<Target>, std::less<>>& vocabulary() {
    auto patient = [](F f) { return std::vector<Target>{{f, I::InsuredName, false}}; };
    auto insurance = [](std::initializer_list<I> fields) {
        std::vector<Target> targets;
        for (I f : fields) targets.push_back({F::p1PatientAltID, f, true});
        return targets;
    };
    static const std::map<std::string, std::vector<Target>, std::less<>> tags = {
        {"P_ACT", patient(F::p1PatientUniqueID)},
        {"P_LNM", patient(F::p1PatientLastName)},
        {"P_FNM", patient(F::p1PatientFirstName)},
        {"P_MID", patient(F::p1PatientMiddleInitial)},
        {"P_ADR", patient(F::p1PatientAddress1)},
        {"P_CIT", patient(F::p1PatientCity)},
        {"P_STA", patient(F::p1PatientState)},
        {"P_ZIP", patient(F::p1PatientPostal)},
        {"P_REL", insurance({I::InsuredRelationship})},
        {"P_SEX", patient(F::p1PatientGender)},
        {"P_DOB", patient(F::p1PatientDOB)},
        {"P_SSN", patient(F::p1PatientSSN)},
        {"P_PHN", patient(F::p1PatientHomePhone)},
        {"P_DIA", patient(F::p2ICD9Code1)},
        {"P_NPI", patient(F::p2PhysicianNPI)},
        {"G_LNM", patient(F::g1GuarantorLastName)},
        {"G_FNM", patient(F::g1GuarantorFirstName)},
        {"G_MID", patient(F::g1GuarantorMiddleInitial)},
        {"G_ADR", patient(F::g1GuarantorAddress1)},
        {"G_CIT", patient(F::g1GuarantorCity)},
        {"G_STA", patient(F::g1GuarantorState)},
        {"G_ZIP", patient(F::g1GuarantorPostal)},
        {"G_PHN", patient(F::g1GuarantorHomePhone)},
        {"I_EMP", insurance({I::InsuredEmployer})},
        {"I_INS", insurance({I::InsuredCompanyName})},
        {"I_IID", insurance({I::InsuredPolicyNumber})},
        {"I_GRP", insurance({I::InsuredGroupNumber})},
        {"I_NAM", insurance({I::InsuredName, I::InsuredAlternateCompanyName})},
        {"I_ADR", insurance({I::InsuredCompanyAddress})},
        {"I_CTY", insurance({I::InsuredCompanyCity})},
        {"I_STA", insurance({I::InsuredCompanyState})},
        {"I_ZIP", insurance({I::InsuredCompanyPostal})},
        {"I_TYP", insurance({I::InsuredClaimType})},
    };
    return tags;
}

void failParse(const RequestSettings& settings, ParseResult& result) {
    if (settings.debugging)
        result.messageBoxes.push_back(
            {"ERROR parsing SCAN stream", "Attention!", ui::Icon::Critical});
}

AnswerProblem unreadable(std::string_view why) {
    return {FailureKind::Unreadable, "could not be read as SCAN: " + std::string(why) +
                                         "; check EOLCharacter, EOFCharacter and VendorFormatType"};
}

}  // namespace

std::string getScanTag(std::string_view line) {
    size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string()
                                            : text::trimSpaces(line.substr(0, equals));
}

std::string getScanValue(std::string_view line) {
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || line.size() - equals < 2) return {};
    return text::trimSpaces(line.substr(equals + 1, line.size() - equals - 2));
}

ParseResult parseScanStream(std::string_view answer, const BridgeConfiguration& config,
                            ParseContext context) {
    PatientRecord& record = context.record;
    ParseResult result;
    result.found = true;
    bool sawPatient = false, sawTag = false;
    try {
        RecordReader reader(answer, config);
        while (reader.position() + 1 < reader.length()) {
            std::string_view line = reader.next();
            std::string tag = getScanTag(line);
            auto found = vocabulary().find(tag);
            if (tag.rfind("P_", 0) == 0) sawPatient = true;
            if (!tag.empty()) sawTag = true;
            if (found == vocabulary().end()) continue;
            std::string value = getScanValue(line);
            for (const Target& target : found->second) {
                if (target.isInsurance)
                    record.insured(0, target.insured) = value;
                else
                    record[target.field] = value;
            }
            if (tag == "I_ADR") record.insured(0, I::InsuredCompanyAddress2).clear();
        }
    } catch (const ParseFailure& failure) {
        result.found = false;
        result.problem = unreadable(failure.what());
        failParse(context.settings, result);
        return result;
    }
    result.finishedParsing = context.clock.now();
    // Lines without any patient tag are no patient; without any tag, no SCAN answer.
    if (!sawPatient) {
        result.found = false;
        result.read = true;
        if (!sawTag) result.problem = unreadable("it holds no TAG=value line");
        return result;
    }
    if (transport(config) == Transport::Tcp &&
        !sameIdentifier(context.settings, record[F::p1PatientUniqueID])) {
        result.found = false;
        failParse(context.settings, result);
        return result;
    }
    result.read = true;
    return result;
}

ParseResult readScanAnswer(std::string_view answer, const BridgeConfiguration& config,
                           ParseContext& context) {
    return timed(context.clock, [&] { return parseScanStream(answer, config, context); });
}

}  // namespace trellybridge::formats
