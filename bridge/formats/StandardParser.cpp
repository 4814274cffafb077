// The STANDARD answer: a header record "H", the patient "P1", physician and diagnoses
// "P2", the guarantor "G1" and insurances "I1" to "I3", either delimited (the header names
// the delimiter) or in fixed columns.
#include <array>
#include <vector>

#include "common/AnswerLimit.h"
#include "common/Keywords.h"
#include "common/Text.h"
#include "formats/AnswerDispatch.h"
#include "formats/Codecs.h"
#include "formats/RecordReader.h"
#include "platform/Toolkit.h"

namespace trellybridge::formats {
namespace {

using F = RecordField;
using I = InsuranceField;

// Where a value sits: its field number in the delimited layout, its start column and
// width in the fixed-column layout.
template <typename Field>
struct Place {
    Field field;
    int number, column, width;
};

// Built on first use: nothing runs before main.
const std::vector<Place<F>>& patientPlaces() {
    static const std::vector<Place<F>> places = {
        {F::p1PatientLastName, 2, 3, 20},      {F::p1PatientFirstName, 3, 23, 15},
        {F::p1PatientMiddleInitial, 4, 38, 1}, {F::p1PatientUniqueID, 5, 39, 10},
        {F::p1PatientSSN, 6, 49, 9},           {F::p1PatientAddress1, 7, 58, 30},
        {F::p1PatientAddress2, 8, 88, 30},     {F::p1PatientCity, 9, 118, 20},
        {F::p1PatientState, 10, 138, 2},       {F::p1PatientPostal, 11, 140, 9},
        {F::p1PatientHomePhone, 12, 149, 10},  {F::p1PatientWorkPhone, 13, 159, 10},
        {F::p1PatientDOB, 14, 169, 8},         {F::p1PatientGender, 15, 177, 1},
        {F::p1PatientAltID, 16, 178, 15},      {F::p1PatientHomeEmail, 17, 193, 50},
    };
    return places;
}

std::vector<Place<F>> physicianPlaces() {
    std::vector<Place<F>> places = {{F::p2UsualProvider, 2, 3, 30},
                                    {F::p2PhysicianUPIN, 3, 33, 15},
                                    {F::p2PhysicianLicenseNumber, 4, 48, 15},
                                    {F::p2PhysicianNPI, 29, 615, 15}};
    for (int n = 1; n <= kDiagnosisSlots; ++n) {
        places.push_back(
            {PatientRecord::diagnosisDescriptionField(n), 3 + 2 * n, 63 + 46 * (n - 1), 40});
        places.push_back({PatientRecord::diagnosisCodeField(n), 4 + 2 * n, 103 + 46 * (n - 1), 6});
    }
    return places;
}
const std::vector<Place<F>>& physicianPlacesOnce() {
    static const std::vector<Place<F>> places = physicianPlaces();
    return places;
}

// Built on first use: nothing runs before main.
const std::vector<Place<F>>& guarantorPlaces() {
    static const std::vector<Place<F>> places = {
        {F::g1GuarantorLastName, 2, 3, 20},      {F::g1GuarantorFirstName, 3, 23, 15},
        {F::g1GuarantorMiddleInitial, 4, 38, 1}, {F::g1GuarantorAddress1, 5, 39, 30},
        {F::g1GuarantorAddress2, 6, 69, 30},     {F::g1GuarantorCity, 7, 99, 20},
        {F::g1GuarantorState, 8, 119, 2},        {F::g1GuarantorPostal, 9, 121, 9},
        {F::g1GuarantorHomePhone, 10, 130, 10},  {F::g1GuarantorWorkPhone, 11, 140, 10},
    };
    return places;
}

// Built on first use: nothing runs before main.
const std::vector<Place<I>>& insurancePlaces() {
    static const std::vector<Place<I>> places = {
        {I::InsuredName, 2, 3, 25},
        {I::InsuredRelationship, 3, 28, 2},
        {I::InsuredPolicyNumber, 4, 30, 20},
        {I::InsuredGroupNumber, 5, 50, 25},
        {I::InsuredCompanyName, 6, 75, 40},
        {I::InsuredClaimType, 7, 115, 2},
        {I::InsuredEmployer, 8, 117, 45},
        {I::InsuredEmployerAddress1, 9, 162, 30},
        {I::InsuredEmployerAddress2, 10, 192, 30},
        {I::InsuredEmployerCity, 11, 222, 20},
        {I::InsuredEmployerState, 12, 242, 2},
        {I::InsuredEmployerPostal, 13, 244, 9},
        {I::InsuredCompanyAddress, 14, 253, 30},
        {I::InsuredCompanyCity, 15, 283, 15},
        {I::InsuredCompanyState, 16, 298, 2},
        {I::InsuredCompanyPostal, 17, 300, 5},
        {I::InsuredBillCode, 18, 305, 1},
    };
    return places;
}

// The record kind: its first character, and for P, G and I its first two.
std::string_view recordType(std::string_view record) {
    if (record.empty()) return {};
    char kind = record[0];
    if ((kind == 'P' || kind == 'G' || kind == 'I') && record.size() >= 2)
        return record.substr(0, 2);
    return record.substr(0, 1);
}

void failParse(const RequestSettings& settings, ParseResult& result) {
    if (settings.debugging)
        result.messageBoxes.push_back(
            {"ERROR parsing response stream", "Attention!", ui::Icon::Critical});
}

AnswerProblem unreadable(std::string_view why) {
    return {FailureKind::Unreadable, "could not be read as STANDARD: " + std::string(why) +
                                         "; check EOLCharacter, EOFCharacter and VendorFormatType"};
}

// The values of one record. Delimited: field n is the text after the (n - 1)-th delimiter
// up to the next one, the last running up to the record's end character; the delimiters
// are located once per record. Fixed: the columns of the record without its end
// character. Both lose trailing blanks.
class RecordValues {
public:
    static constexpr size_t kMostFields = 29;  // the physician's NPI is the last field read

    RecordValues(std::string_view record, bool delimited, char delimiter)
        : body_(record), delimited_(delimited) {
        // The end character never becomes part of a value.
        if (!body_.empty()) body_.remove_suffix(1);
        if (!delimited_) return;
        for (size_t start = 0; count_ < kMostFields;) {
            size_t end = body_.find(delimiter, start);
            fields_[count_++] = body_.substr(
                start, end == std::string_view::npos ? std::string_view::npos : end - start);
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
    }

    std::string_view value(int number, int column, int width) const {
        if (!delimited_) {
            size_t start = static_cast<size_t>(column - 1);
            return start >= body_.size()
                       ? std::string_view()
                       : trimTrailingBlanks(body_.substr(start, static_cast<size_t>(width)));
        }
        size_t index = static_cast<size_t>(number - 1);
        return index < count_ ? trimTrailingBlanks(fields_[index]) : std::string_view();
    }

private:
    std::string_view body_;
    bool delimited_;
    std::array<std::string_view, kMostFields> fields_{};
    size_t count_ = 0;
};

// Reads records in one of the two layouts and fills the record.
class StandardParse {
public:
    StandardParse(std::string_view answer, bool delimited, const BridgeConfiguration& config,
                  ParseContext context)
        : answer_(answer),
          delimited_(delimited),
          c_(config),
          settings_(context.settings),
          context_(context),
          record_(context.record),
          delimiter_(context.recordDelimiter) {}

    ParseResult run();

private:
    template <typename Field, typename Store>
    void read(std::string_view record, const std::vector<Place<Field>>& places, Store store) const {
        RecordValues values(record, delimited_, delimiter_);
        for (const Place<Field>& place : places)
            store(place.field, values.value(place.number, place.column, place.width));
    }
    void readRecord(std::string_view record);
    bool checkIdentifier();

    std::string_view answer_;
    bool delimited_;
    const BridgeConfiguration& c_;
    const RequestSettings& settings_;
    ParseContext context_;
    PatientRecord& record_;
    char delimiter_;  // the header record names it
    ParseResult result_;
    bool sawPatient_ = false;
};

void StandardParse::readRecord(std::string_view record) {
    std::string_view type = recordType(record);
    // Assigned, not moved in: the record's texts keep their storage from one request to
    // the next.
    auto toRecord = [this](F field, std::string_view v) { record_[field].assign(v); };
    if (type == "H") {
        if (record.size() >= 2) result_.recordDelimiter = delimiter_ = record[1];
    } else if (type == "P1") {
        sawPatient_ = true;
        read(record, patientPlaces(), toRecord);
        std::string& ssn = record_[F::p1PatientSSN];
        ssn = settings_.keywords.has(keyword::NoPatientSsn) ? "" : cleanSsn(ssn);
        std::string& dob = record_[F::p1PatientDOB];
        if (delimited_ && dob.size() > 8) dob.resize(8);
    } else if (type == "P2") {
        read(record, physicianPlacesOnce(), toRecord);
        if (settings_.keywords.has(keyword::NoDoctor)) {
            record_[F::p2PhysicianUPIN].clear();
            record_[F::p2PhysicianNPI].clear();
        }
    } else if (type == "G1") {
        read(record, guarantorPlaces(), toRecord);
    } else if (type == "I1" || type == "I2" || type == "I3") {
        int slot = type[1] - '1';
        int allowed = settings_.keywords.has(keyword::NoInsurance)        ? 0
                      : settings_.keywords.has(keyword::OneInsuranceOnly) ? 1
                                                                          : 3;
        if (delimited_ && slot + 1 > allowed) return;
        read(record, insurancePlaces(),
             [&](I field, std::string_view v) { record_.insured(slot, field).assign(v); });
        if (!delimited_) {
            record_.insured(slot, I::InsuredCompanyAddress2).clear();
            record_.insured(slot, I::InsuredAlternateCompanyName).clear();
        }
    }
}

bool StandardParse::checkIdentifier() {
    if (transport(c_) != Transport::Tcp) return true;
    if (delimited_ && settings_.keywords.has(keyword::BypassPidCheckForAstm)) return true;
    const std::string& returned = record_[F::p1PatientUniqueID];
    if (sameIdentifier(settings_, returned)) return true;
    if (delimited_)
        result_.messageBoxes.push_back({"Patient ID returned does not match ID submitted.\r" +
                                            c_.PatientID.toText() + " <--> " + returned,
                                        ""});
    return false;
}

ParseResult StandardParse::run() {
    result_.found = true;
    context_.debugDump = answerForDump(answer_);
    try {
        RecordReader reader(answer_, c_);
        if (delimited_) {
            while (reader.position() + 1 < reader.length()) readRecord(reader.next());
        } else {
            while (reader.position() < reader.length()) {
                readRecord(reader.next());
                if (reader.lastReadWasEndOfFile()) break;
            }
        }
    } catch (const ParseFailure& failure) {
        result_.found = false;
        result_.problem = unreadable(failure.what());
        failParse(settings_, result_);
        return result_;
    }

    if (delimited_ && settings_.keywords.has(keyword::UsePidForGuarantor) &&
        record_[F::g1GuarantorLastName].empty() && record_[F::g1GuarantorFirstName].empty()) {
        guarantorFromPatient(record_, true);
    }
    result_.finishedParsing = context_.clock.now();

    // An answer without a patient record is no patient.
    if (!sawPatient_) {
        result_.found = false;
        result_.read = true;
        return result_;
    }
    if (!checkIdentifier()) {
        result_.found = false;
        failParse(settings_, result_);
        return result_;
    }
    result_.read = true;
    return result_;
}

}  // namespace

ParseResult parseStandardStream(std::string_view answer, const BridgeConfiguration& config,
                                ParseContext context) {
    return StandardParse(answer, true, config, context).run();
}
ParseResult parseStandardFixedStream(std::string_view answer, const BridgeConfiguration& config,
                                     ParseContext context) {
    return StandardParse(answer, false, config, context).run();
}

ParseResult readStandardAnswer(std::string_view answer, const BridgeConfiguration& config,
                               ParseContext& context) {
    ParseResult result;
    platform::LocalTime started = context.clock.now();
    if (auto records = standardFromHeader(answer)) {
        bool delimited = records->size() > 1 && (*records)[1] != ' ';
        result = delimited ? parseStandardStream(*records, config, context)
                           : parseStandardFixedStream(*records, config, context);
        if (result.read) result.finishedParsing = context.clock.now();
    } else
        result.problem = unreadable("it holds no header record (H)");
    result.startedParsing = started;
    return result.found.value_or(false) ? result : shownAndEnded(std::move(result));
}

}  // namespace trellybridge::formats
