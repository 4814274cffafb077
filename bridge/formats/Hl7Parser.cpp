// The HL7 answer parser: patient, physician, diagnoses, guarantor and insurances read
// with the positional primitives, adjusted by the override keywords, and checked against
// the identifier asked for.
#include <algorithm>
#include <array>
#include <functional>
#include <utility>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/Keywords.h"
#include "common/Text.h"
#include "formats/Codecs.h"
#include "formats/Hl7Primitives.h"
#include "formats/Hl7SegmentIndex.h"
#include "platform/Toolkit.h"

namespace trellybridge::formats {
namespace {

using F = RecordField;
using I = InsuranceField;

constexpr std::string_view kComponent = "^";

// Segments are indexed once; fields are then read without searching.
using Segment = hl7::SegmentIndex;

std::string_view field(const Segment& segment, long number) {
    return segment.field(number);
}
// Segments end at a carriage return, whatever EOLCharacter says: it names the line end
// of other exchanges, and a list such as "13,10" would otherwise fail every lookup.
constexpr std::optional<char> kSegmentEnd = '\r';

std::string_view component(std::string_view wrapped, long number) {
    return hl7::ComponentIndex(wrapped).component(number);
}
bool holdsComponents(std::string_view wrapped) {
    return wrapped.find('^') != std::string_view::npos;
}

// Writes values into the record, unwrapped (hl7::stripDelimiters), with {REMOVE QUOTES}
// looked up once per parse.
class ValueWriter {
protected:
    explicit ValueWriter(bool removeQuotes) : removeQuotes_(removeQuotes) {}

    // Appends the unwrapped value to `target`.
    void appendValue(std::string& target, std::string_view wrapped) const {
        if (wrapped.size() <= 2) return;
        size_t from = target.size();
        target.append(wrapped.substr(1, wrapped.size() - 2));
        if (removeQuotes_)
            target.erase(
                std::remove(target.begin() + static_cast<std::ptrdiff_t>(from), target.end(), '"'),
                target.end());
    }

    // Writes the unwrapped value into `target`, reusing its storage (the record's strings
    // keep their capacity from one request to the next).
    void put(std::string& target, std::string_view wrapped) const {
        target.clear();  // clear and append take the simple path of assign
        if (wrapped.size() > 2) appendValue(target, wrapped);  // most empty ones: no call
    }
    void put(std::string& target, const Segment& segment, long number) const {
        put(target, field(segment, number));
    }

    // The parts of a name field (last, first, middle) into their fields.
    void putName(const hl7::ComponentIndex& name, std::string& last, std::string& first,
                 std::string& middle) const {
        put(last, name.component(1));
        put(first, name.component(2));
        put(middle, name.component(3));
    }

    // The parts of an address field (line 1, line 2, city, state, postal code) into their
    // fields; the state is kept only when it is a two-letter code.
    void putAddress(const hl7::ComponentIndex& address, std::string& line1, std::string& line2,
                    std::string& city, std::string& state, std::string& postal) const {
        put(line1, address.component(1));
        put(line2, address.component(2));
        put(city, address.component(3));
        put(state, address.component(4));
        state = hl7::filterStateCode(state);
        put(postal, address.component(5));
    }

    std::string stripDelimiters(std::string_view wrapped) const {
        std::string value;
        appendValue(value, wrapped);
        return value;
    }
    // The same value without a copy: a view into the message, or into `scratch` when
    // quotes are removed.
    std::string_view unwrapped(std::string_view wrapped, std::string& scratch) const {
        if (removeQuotes_) {
            put(scratch, wrapped);
            return scratch;
        }
        return wrapped.size() > 2 ? wrapped.substr(1, wrapped.size() - 2) : std::string_view();
    }

    // A date field, cut to its first eight characters (the time of day dropped).
    void putDate(std::string& target, const Segment& segment, long number) const {
        put(target, segment, number);
        if (target.size() > 8) target.resize(8);
    }

    // Dashes and blanks removed; empty when what is left is no number other than 0.
    void putSsn(std::string& target, const Segment& segment, long number) const {
        put(target, segment, number);
        std::erase_if(target, [](char c) { return c == '-' || c == ' '; });
        if (!plainlyNonZero(target) && Variant(target).numericValue() == 0) target.clear();
    }
    // Digits, the first of them not 0, and few enough to be a finite number: the usual
    // identifier, known non-zero without the conversion.
    static bool plainlyNonZero(std::string_view value) {
        return !value.empty() && value.size() < 300 && value[0] >= '1' && value[0] <= '9' &&
               std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
    }

    // A phone field, cut to its first component under {REMOVE EXTRA PHONE NUMBERS}.
    void putPhone(std::string& target, const Segment& segment, long number, bool cutToFirst) const {
        std::string_view wrapped = field(segment, number);
        put(target, cutToFirst && holdsComponents(wrapped) ? segment.components(number).component(1)
                                                           : wrapped);
    }

private:
    bool removeQuotes_;
};

std::string relationshipCode(const std::string& value) {
    auto number = Variant(value).toNumber();
    if (!number) return value;
    switch (static_cast<long>(*number)) {
        case 1:
        case 2:
        case 9: return "SE";
        case 3:
        case 4:
        case 29: return "SP";
        case 5:
        case 6:
        case 21:
        case 23:
        case 30:
        case 31:
        case 32:
        case 41: return "CH";
        default: return "OT";
    }
}

// The insured person's name and address as found, still wrapped: views into the message.
struct InsuredPerson {
    std::string_view lastName, firstName, middleInitial, address1, address2, city, state, postal;
};

struct Identifiers {
    // pid2First: the first component of PID-2; pid3: the identifier list, stripped.
    std::string patientNumber, companyNumber, combined, pid2First, pid3;
};

class Hl7Parse : private ValueWriter {
public:
    Hl7Parse(std::string_view message, const BridgeConfiguration& config,
             const RequestSettings& settings, PatientRecord& record)
        : ValueWriter(settings.keywords.has(keyword::RemoveQuotes)),
          message_(message),
          index_(message, {"PID", "PV1", "DG1", "GT1", "IN1", "IN2"}),
          c_(config),
          settings_(settings),
          record_(record),
          pid_(index_.segment(kPid, 1)) {}

    ParseResult run(const RecordObserver& whenRead);

private:
    bool keyword(std::string_view word) const { return settings_.keywords.has(word); }
    std::string& rec(F f) { return record_[f]; }

    void readPatientNumber();
    void readPatient();
    void readUniqueIdentifier();
    void readPhysician();
    void readDiagnoses();
    void readGuarantor();
    void readInsurances();
    void readInsurance(int slot, const Segment& in1Found, const Segment& in2Found);
    void substituteGuarantor();
    bool identifierMatches(ParseResult& result);
    std::optional<AnswerProblem> withoutPatient() const;
    std::string errorText(const Segment& err) const;

    // The segments read, each found where a segment starts.
    enum Tag : size_t { kPid, kPv1, kDg1, kGt1, kIn1, kIn2 };
    std::string_view message_;
    hl7::MessageIndex index_;
    const BridgeConfiguration& c_;
    const RequestSettings& settings_;
    PatientRecord& record_;
    Segment pid_;
    Identifiers ids_;
    std::array<InsuredPerson, kInsuranceSlots> insured_;
};

ParseResult Hl7Parse::run(const RecordObserver& whenRead) {
    ParseResult result;
    // An answer without a patient segment (an empty answer, a vendor's error
    // acknowledgement) is no patient, and not an answer to retry: the dispatcher shows
    // it and ends the session.
    result.found = !pid_.text().empty();
    if (!*result.found) {
        result.problem = withoutPatient();
        return result;
    }
    result.read = true;

    readPatientNumber();
    readPatient();
    readUniqueIdentifier();
    readPhysician();
    readDiagnoses();
    readGuarantor();
    readInsurances();
    // The record as read is what the public parser publishes; the guarantor
    // substitutions below reach the properties only when a request publishes.
    if (whenRead) whenRead(record_);
    substituteGuarantor();
    if (!identifierMatches(result)) {
        result.found = false;
        result.disconnected = true;
    }
    return result;
}

// What an answer without a patient segment says. An error or reject acknowledgement is the
// vendor refusing the query, whatever its text; an accepting one (a query that found
// nothing, QAK-2 "NF") is no patient on file; text with no message header was not HL7.
std::optional<AnswerProblem> Hl7Parse::withoutPatient() const {
    hl7::MessageIndex index(message_, {"MSH", "MSA", "ERR"});
    Segment msa(index.record(1, 1));
    std::string code = text::upper(text::trimSpaces(stripDelimiters(field(msa, 1))));
    if (code == "AE" || code == "AR" || code == "CE" || code == "CR") {
        std::string said = text::trimSpaces(stripDelimiters(field(msa, 3)));
        std::string what = "the vendor refused the query (acknowledgement " + code + ")";
        if (!said.empty()) what += ": \"" + said + "\"";
        if (std::string error = errorText(Segment(index.record(2, 1))); !error.empty())
            what += "; ERR: \"" + error + "\"";
        return AnswerProblem{FailureKind::Refused, what};
    }
    if (index.record(0, 1).empty() && msa.text().empty())
        return AnswerProblem{FailureKind::Unreadable,
                             "could not be read as HL7: it holds no message header (MSH); check "
                             "VendorFormatType"};
    return std::nullopt;
}

// What an ERR segment says to people: its user message (ERR-8), else the text of its
// error code (ERR-3), else the location and code of older versions (ERR-1), read plainly.
std::string Hl7Parse::errorText(const Segment& err) const {
    for (std::string_view wrapped :
         {field(err, 8), component(field(err, 3), 2), component(field(err, 3), 1), field(err, 1)}) {
        std::string said = stripDelimiters(wrapped);
        std::replace_if(
            said.begin(), said.end(), [](char c) { return c == '^' || c == '&'; }, ' ');
        said = text::trimSpaces(said);
        if (!said.empty()) return said;
    }
    return {};
}

void Hl7Parse::readPatientNumber() {
    FormatKind format = formatKind(c_);
    std::string_view pid2 = field(pid_, 2);
    hl7::ComponentIndex parts = pid_.components(2);
    ids_.pid2First = stripDelimiters(parts.component(1));
    if (format == FormatKind::Hl7) {
        if (c_.medicCompanyMode) {
            ids_.patientNumber = ids_.pid2First;
            ids_.companyNumber = text::upper(stripDelimiters(parts.component(2)));
        } else if (holdsComponents(pid2)) {
            ids_.patientNumber = ids_.pid2First;
        } else {
            ids_.patientNumber = stripDelimiters(pid2);
        }
    } else if (format != FormatKind::Unknown) {
        ids_.patientNumber = stripDelimiters(pid2);
    }
}

void Hl7Parse::readPatient() {
    put(rec(F::p1PatientAltID), pid_, 4);
    putName(pid_.components(5), rec(F::p1PatientLastName), rec(F::p1PatientFirstName),
            rec(F::p1PatientMiddleInitial));
    putDate(rec(F::p1PatientDOB), pid_, 7);
    put(rec(F::p1PatientGender), pid_, 8);
    putAddress(pid_.components(11), rec(F::p1PatientAddress1), rec(F::p1PatientAddress2),
               rec(F::p1PatientCity), rec(F::p1PatientState), rec(F::p1PatientPostal));

    // The first number of the first repetition, and its e-mail address when it has one.
    hl7::ComponentIndex home = pid_.components(13);
    put(rec(F::p1PatientHomePhone), home.component(1));
    put(rec(F::p1PatientHomeEmail), home.component(4));
    putPhone(rec(F::p1PatientWorkPhone), pid_, 14, keyword(keyword::RemoveExtraPhoneNumbers));
    if (keyword(keyword::NoPatientSsn))
        rec(F::p1PatientSSN).clear();
    else
        putSsn(rec(F::p1PatientSSN), pid_, 19);
    put(ids_.pid3, pid_, 3);
}

void Hl7Parse::readUniqueIdentifier() {
    FormatKind format = formatKind(c_);
    if (format == FormatKind::Hl7) {
        if (c_.medicCompanyMode && !keyword(keyword::SuppressCompanyNumber)) {
            bool lengthSet = !isUnset(c_.MEDICNumberLength);
            rec(F::p1PatientUniqueID) =
                lengthSet ? ids_.companyNumber + "-" + ids_.patientNumber : ids_.patientNumber;
        } else {
            rec(F::p1PatientUniqueID) = ids_.patientNumber;
            ids_.combined = ids_.companyNumber + "-" + ids_.patientNumber;
        }
    } else if (format == FormatKind::Standard || format == FormatKind::Scan) {
        rec(F::p1PatientUniqueID) = ids_.patientNumber;
    }
}

void Hl7Parse::readPhysician() {
    Segment pv1 = index_.segment(kPv1, 1);
    std::string_view doctor = field(pv1, 7);
    hl7::ComponentIndex parts = pv1.components(7);
    std::string& upin = rec(F::p2PhysicianUPIN);
    std::string& npi = rec(F::p2PhysicianNPI);
    upin.clear();
    npi.clear();
    rec(F::p2PhysicianLicenseNumber).clear();
    if (holdsComponents(doctor)) {
        put(rec(F::p2PhysicianLicenseNumber), parts.component(1));
        // The repetitions are located once: a vendor may send thousands of them.
        hl7::RepetitionIndex repetitions(doctor, kSegmentEnd);
        long count = static_cast<long>(repetitions.separators()) + 1;
        std::string scratch;
        for (long i = 1; i <= count; ++i) {
            std::string_view wrapped = repetitions.repetition(i);
            std::string_view value = unwrapped(wrapped.empty() ? doctor : wrapped, scratch);
            if (hl7::countOccurrences(value, kComponent) < 8) continue;
            std::string_view identifier = value.substr(0, value.find('^'));
            std::string_view tail = value.size() > 10 ? value.substr(value.size() - 10) : value;
            if (text::containsUpperCased(tail, "^UPIN"))
                upin = identifier;
            else if (text::containsUpperCased(tail, "^NPI"))
                npi = identifier;
        }
    }
    if (keyword(keyword::NoDoctor)) upin.clear(), npi.clear();

    // The host receives the attending doctor's name: last, comma, first, blank, middle.
    std::string lastScratch, firstScratch, middleScratch;
    std::string_view last = unwrapped(parts.component(2), lastScratch);
    std::string_view first = unwrapped(parts.component(3), firstScratch);
    std::string_view middle = unwrapped(parts.component(4), middleScratch);
    middle = middle.substr(0, middle.find('~'));
    std::string& name = rec(F::p2UsualProvider);
    name.clear();
    if (!last.empty() || !first.empty()) name.append(last).append(",").append(first);
    if (!middle.empty()) name.append(" ").append(middle);
}

void Hl7Parse::readDiagnoses() {
    auto description = [this](int c) -> std::string& { return record_.diagnosisDescription(c); };
    auto code = [this](int c) -> std::string& { return record_.diagnosisCode(c); };
    for (int c = 1; c <= kDiagnosisSlots; ++c) description(c).clear(), code(c).clear();
    for (int c = 1; c <= kDiagnosisSlots; ++c) {
        Segment dg1 = index_.segment(kDg1, c);
        if (text::isBlank(dg1.text())) continue;
        std::string_view diagnosis = field(dg1, 3);
        if (text::contains(diagnosis, "^I9")) {
            hl7::ComponentIndex parts = dg1.components(3);
            put(code(c), parts.component(1));
            put(description(c), parts.component(2));
            break;
        }
        put(code(c), diagnosis);
        put(description(c), dg1, 4);
    }
}

void Hl7Parse::readGuarantor() {
    Segment gt1 = index_.segment(kGt1, 1);
    putName(gt1.components(3), rec(F::g1GuarantorLastName), rec(F::g1GuarantorFirstName),
            rec(F::g1GuarantorMiddleInitial));
    putAddress(gt1.components(5), rec(F::g1GuarantorAddress1), rec(F::g1GuarantorAddress2),
               rec(F::g1GuarantorCity), rec(F::g1GuarantorState), rec(F::g1GuarantorPostal));
    bool cut = keyword(keyword::RemoveExtraPhoneNumbers);
    putPhone(rec(F::g1GuarantorHomePhone), gt1, 6, cut);
    putPhone(rec(F::g1GuarantorWorkPhone), gt1, 7, cut);
    put(rec(F::g1GuarantorGender), gt1, 9);
    putDate(rec(F::g1GuarantorDOB), gt1, 8);
    putSsn(rec(F::g1GuarantorSSN), gt1, 12);

    if (keyword(keyword::CopyPatientAddressToGuarantor)) {
        rec(F::g1GuarantorAddress1) = rec(F::p1PatientAddress1);
        rec(F::g1GuarantorAddress2) = rec(F::p1PatientAddress2);
        rec(F::g1GuarantorCity) = rec(F::p1PatientCity);
        rec(F::g1GuarantorState) = rec(F::p1PatientState);
        rec(F::g1GuarantorPostal) = rec(F::p1PatientPostal);
    }
}

void Hl7Parse::readInsurances() {
    if (keyword(keyword::NoInsurance)) return;
    int slots = keyword(keyword::OneInsuranceOnly) ? 1 : kPublishedInsuranceSlots;
    for (int slot = 0; slot < slots; ++slot)
        readInsurance(slot, index_.segment(kIn1, slot + 1), index_.segment(kIn2, slot + 1));
}

void Hl7Parse::readInsurance(int slot, const Segment& in1Found, const Segment& in2Found) {
    const Segment none({});
    const Segment& in1 = text::isBlank(in1Found.text()) ? none : in1Found;
    const Segment& in2 = text::isBlank(in2Found.text()) ? none : in2Found;

    std::string_view policy = field(in1, 36);
    if (keyword(keyword::UseIn2_61ForPolicy)) {
        std::string_view in2Policy = field(in2, 61);
        if (in2Policy.size() > 2) policy = in2Policy;
    }
    std::string_view company = field(in1, 4);
    if (keyword(keyword::UseIn1_9ForInsuranceName)) {
        std::string_view alternative = field(in1, 9);
        if (!text::isBlank(alternative)) company = alternative;
    }

    auto insured = [&](I f) -> std::string& { return record_.insured(slot, f); };
    std::string& relationship = insured(I::InsuredRelationship);
    put(relationship, in1, 17);
    if (keyword(keyword::RelationshipCodes)) relationship = relationshipCode(relationship);
    put(insured(I::InsuredPolicyNumber), policy);
    put(insured(I::InsuredGroupNumber), in1, 8);
    put(insured(I::InsuredClaimType), in1, 15);
    put(insured(I::InsuredBillCode), in1, 47);
    put(insured(I::InsuredCompanyName), company);
    putAddress(in1.components(5), insured(I::InsuredCompanyAddress),
               insured(I::InsuredCompanyAddress2), insured(I::InsuredCompanyCity),
               insured(I::InsuredCompanyState), insured(I::InsuredCompanyPostal));
    put(insured(I::InsuredEmployer), in2.components(3).component(2));
    putAddress(in1.components(44), insured(I::InsuredEmployerAddress1),
               insured(I::InsuredEmployerAddress2), insured(I::InsuredEmployerCity),
               insured(I::InsuredEmployerState), insured(I::InsuredEmployerPostal));
    insured(I::InsuredAlternateCompanyName).clear();

    InsuredPerson& person = insured_[static_cast<size_t>(slot)];
    hl7::ComponentIndex name = in1.components(16), address = in1.components(19);
    person = {name.component(1),    name.component(2),    name.component(3),
              address.component(1), address.component(2), address.component(3),
              address.component(4), address.component(5)};
    // "DOE,JOHN Q"; a slot without an insurance names nobody.
    std::string& insuredName = insured(I::InsuredName);
    put(insuredName, person.lastName);
    if (in1.text().empty()) return;
    insuredName += ',';
    appendValue(insuredName, person.firstName);
    insuredName += ' ';
    appendValue(insuredName, person.middleInitial);
}

void Hl7Parse::substituteGuarantor() {
    const InsuredPerson& first = insured_[0];
    if (keyword(keyword::UseIn1ForGuarantorNameOnly)) {
        put(rec(F::g1GuarantorLastName), first.lastName);
        put(rec(F::g1GuarantorFirstName), first.firstName);
        put(rec(F::g1GuarantorMiddleInitial), first.middleInitial);
    }
    if (keyword(keyword::UseIn1ForGuarantor)) {
        put(rec(F::g1GuarantorLastName), first.lastName);
        put(rec(F::g1GuarantorFirstName), first.firstName);
        put(rec(F::g1GuarantorMiddleInitial), first.middleInitial);
        put(rec(F::g1GuarantorAddress1), first.address1);
        put(rec(F::g1GuarantorAddress2), first.address2);
        put(rec(F::g1GuarantorCity), first.city);
        put(rec(F::g1GuarantorState), first.state);
        put(rec(F::g1GuarantorPostal), first.postal);
        rec(F::g1GuarantorHomePhone).clear();
        rec(F::g1GuarantorWorkPhone).clear();
    }
    if (keyword(keyword::Kxra) &&
        text::trimSpaces(rec(F::g1GuarantorAddress1)) == "4120B N ELM STREET")
        guarantorFromPatient(record_, false);
    if (keyword(keyword::UsePidForGuarantor) && rec(F::g1GuarantorLastName).empty() &&
        rec(F::g1GuarantorFirstName).empty())
        guarantorFromPatient(record_, true);
}

bool Hl7Parse::identifierMatches(ParseResult& result) {
    std::string& matched = result.identifierMatch;
    if (transportOf(settings_.bridge) != Transport::Tcp) return true;
    const std::string& returned = rec(F::p1PatientUniqueID);
    if (returned.empty() && ids_.pid3.empty()) return true;
    bool exact = settings_.caseSensitive;
    auto fold = [exact](const std::string& value) { return exact ? value : text::upper(value); };
    std::string requested = fold(settings_.patientId);
    if (requested == fold(returned) || requested == fold(ids_.combined) ||
        requested == fold(ids_.pid3))
        return true;
    // The number a user types is usually the record number: the first component of one
    // of the identifiers PID-3 lists; or the first component of PID-2.
    // Which one matched is told: it may be another assigning authority's number.
    auto names = [&](std::string_view identifier) {
        return !identifier.empty() && requested == fold(std::string(identifier));
    };
    if (names(ids_.pid2First)) {
        matched = "PID-2: " + ids_.pid2First;
        return true;
    }
    std::string_view list = ids_.pid3;
    for (size_t start = 0, repetition = 1; start <= list.size(); ++repetition) {
        size_t end = std::min(list.find('~', start), list.size());
        std::string_view identifier = list.substr(start, end - start);
        if (names(identifier.substr(0, identifier.find('^')))) {
            matched =
                "PID-3 repetition " + std::to_string(repetition) + ": " + std::string(identifier);
            return true;
        }
        start = end + 1;
    }

    result.messageBoxes.push_back({"Patient ID returned does not match ID submitted.\r" +
                                       c_.PatientID.toText() + " <--> " + returned,
                                   ""});
    result.notices.push_back({errc::Hl7ParseFailed, ""});
    return false;
}

// The block characters of MLLP around a message (VT before it; FS and CR after it) are
// the transport's, never data, whether or not the site asked for MLLP: a vendor that
// frames its answers unasked would otherwise leave an FS in the last value.
std::string_view withoutFraming(std::string_view answer) {
    size_t first = answer.find_first_not_of("\v\r\n");
    size_t last = answer.find_last_not_of("\x1c\r\n");
    if (first == std::string_view::npos || last == std::string_view::npos || last < first)
        return {};
    return answer.substr(first, last + 1 - first);
}

}  // namespace

ParseResult parseHL7Stream(std::string_view answer, const BridgeConfiguration& config,
                           ParseContext context, const RecordObserver& whenRead) {
    // Two carriage returns end the last segment whatever the vendor sent. Segments that
    // end in a line feed alone (no carriage return anywhere) are read as if {CHANGE LF TO
    // CR} were given. The debug dump keeps the message as parsed, bounded.
    answer = withoutFraming(answer);
    // The message is made in the dump's buffer, which outlives the request, so that a
    // parse allocates nothing once the buffer has grown; not when the answer lies in it.
    std::string copy;
    std::string& dump = context.debugDump;
    auto within = [&](const char* p) {
        return std::less_equal<>()(dump.data(), p) && std::less<>()(p, dump.data() + dump.size());
    };
    bool answerInDump = !answer.empty() && within(answer.data());
    std::string& message = answerInDump ? copy : dump;
    message.reserve(answer.size() + 2);
    message.assign(answer);
    if (message.find('\r') == std::string::npos)
        std::replace(message.begin(), message.end(), '\n', '\r');
    message += "\r\r";
    ParseResult result = Hl7Parse(message, config, context.settings, context.record).run(whenRead);
    if (message.size() > kDumpedAnswerBytes)
        dump = answerForDump(message);
    else if (answerInDump)
        dump = std::move(copy);
    return result;
}

ParseResult readHl7Answer(std::string_view answer, const BridgeConfiguration& config,
                          ParseContext& context) {
    ParseResult result =
        timed(context.clock, [&] { return parseHL7Stream(answer, config, context); });
    if (!result.read) return shownAndEnded(std::move(result));
    const std::string& vendor = context.settings.vendor;
    bool medicVendor = vendor == "MEDIC" || vendor == "MISYS PM" || vendor == "MISYSPM";
    if (medicVendor && context.settings.medicGuarantorAddress) useGuarantorAddress(context.record);
    return result;
}

}  // namespace trellybridge::formats
