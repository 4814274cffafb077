// The C interface over the object registry and the dispatch tables.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/Errors.h"
#include "common/Pace.h"
#include "component/ComponentDispatch.h"
#include "component/ThreadState.h"
#include "platform/CancelSignal.h"
#include "platform/ObjectRegistry.h"
#include "trellybridge/trellybridge.h"

struct tb_object {
    std::shared_ptr<trellybridge::platform::Dispatchable> target;
    // Raised by tb_cancel from any thread; the request a call on the object starts ends.
    std::unique_ptr<trellybridge::platform::CancelSignal> cancel =
        std::make_unique<trellybridge::platform::CancelSignal>();
};

namespace {

using trellybridge::Variant;
using trellybridge::platform::Dispatchable;
using trellybridge::platform::InvokeStatus;
using trellybridge::platform::MemberKind;

tb_status statusOf(InvokeStatus status) {
    switch (status) {
        case InvokeStatus::Ok: return TB_OK;
        case InvokeStatus::UnknownMember: return TB_UNKNOWN_MEMBER;
        case InvokeStatus::BadArgumentCount: return TB_BAD_ARGUMENT_COUNT;
        case InvokeStatus::NotImplemented: return TB_NOT_IMPLEMENTED;
        case InvokeStatus::Failed: return TB_FAILED;
    }
    return TB_INVALID_ARGUMENT;
}

Variant fromC(const tb_variant& in) {
    switch (in.kind) {
        case TB_BOOLEAN: return Variant(in.boolean != 0);
        case TB_INTEGER: return Variant(in.integer);
        case TB_DOUBLE: return Variant(in.real);
        case TB_TEXT:
            return in.text ? Variant(std::string(in.text, in.text_length)) : Variant(std::string());
        case TB_OBJECT:
            return in.object
                       ? Variant(std::static_pointer_cast<trellybridge::Object>(in.object->target))
                       : Variant();
        case TB_EMPTY: break;
    }
    return Variant();
}

void toC(const Variant& in, tb_variant* out) {
    tb_variant_clear(out);
    switch (in.kind()) {
        case Variant::Kind::Empty: break;
        case Variant::Kind::Boolean: tb_variant_set_boolean(out, in.isTrue()); break;
        case Variant::Kind::Integer: tb_variant_set_integer(out, *in.toWholeNumber()); break;
        case Variant::Kind::Double: tb_variant_set_double(out, *in.toNumber()); break;
        case Variant::Kind::Text: {
            std::string text = in.toText();
            out->text = static_cast<char*>(std::malloc(text.size() + 1));
            std::memcpy(out->text, text.data(), text.size());
            out->text[text.size()] = '\0';
            out->text_length = text.size();
            out->kind = TB_TEXT;
            break;
        }
        case Variant::Kind::Object:
            if (auto target = std::dynamic_pointer_cast<Dispatchable>(in.object())) {
                out->object = new tb_object{std::move(target)};
                out->kind = TB_OBJECT;
            }
            break;
    }
}

trellybridge::GetPatientArguments argumentsFrom(const tb_variant* settings, size_t count) {
    trellybridge::GetPatientArguments arguments;
    for (size_t i = 0; i < count; ++i) arguments.at(i) = fromC(settings[i]);
    return arguments;
}

#define TRELLYBRIDGE_TEXT_OF(x) #x
#define TRELLYBRIDGE_VERSION_OF(major, minor) \
    TRELLYBRIDGE_TEXT_OF(major) "." TRELLYBRIDGE_TEXT_OF(minor)
#define TRELLYBRIDGE_VERSION_TEXT \
    TRELLYBRIDGE_VERSION_OF(TRELLYBRIDGE_VERSION_MAJOR, TRELLYBRIDGE_VERSION_MINOR)

tb_status invokeOn(tb_object* object, const char* name, MemberKind kind,
                   const std::vector<Variant>& arguments, tb_variant* result) {
    if (!object || !object->target || !name) return TB_INVALID_ARGUMENT;
    Variant value;
    trellybridge::CallCancel cancel(object->cancel.get());
    tb_status status = statusOf(object->target->invoke(name, kind, arguments, value));
    if (status == TB_OK && result) toC(value, result);
    return status;
}

// The object's error list as entries; nullopt when it has no ErrorCodes property.
std::optional<std::vector<trellybridge::ErrorListEntry>> errorEntries(tb_object* object) {
    Variant list;
    if (object->target->invoke("ErrorCodes", MemberKind::Get, {}, list) != InvokeStatus::Ok)
        return std::nullopt;
    return trellybridge::errorListEntries(list.toText());
}

// Names for C: NUL-terminated, made once, kept as long as the library.
const char* nameAt(const std::vector<std::string>& names, size_t index) {
    return index < names.size() ? names[index].c_str() : nullptr;
}

const std::vector<std::string>& settingNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (size_t i = 0; i < trellybridge::GetPatientArguments::kCount; ++i)
            all.emplace_back(trellybridge::GetPatientArguments::name(i));
        return all;
    }();
    return names;
}

const std::vector<std::string>& bridgeNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const trellybridge::BridgeRow& bridge : trellybridge::kBridgeRows)
            all.emplace_back(bridge.name);
        return all;
    }();
    return names;
}

const std::vector<std::string>& formatNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const trellybridge::FormatName& format : trellybridge::kFormatNames)
            all.emplace_back(format.name);
        return all;
    }();
    return names;
}

const std::vector<std::string>& propertyNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (std::string_view name : trellybridge::publishedPropertyNames()) all.emplace_back(name);
        return all;
    }();
    return names;
}

}  // namespace

extern "C" {

void tb_variant_init(tb_variant* variant) {
    *variant = tb_variant{};
}

void tb_variant_clear(tb_variant* variant) {
    if (!variant) return;
    if (variant->kind == TB_TEXT) std::free(variant->text);
    if (variant->kind == TB_OBJECT) delete variant->object;
    *variant = tb_variant{};
}

void tb_variant_set_text(tb_variant* variant, const char* text) {
    tb_variant_clear(variant);
    size_t length = text ? std::strlen(text) : 0;
    variant->text = static_cast<char*>(std::malloc(length + 1));
    if (length) std::memcpy(variant->text, text, length);
    variant->text[length] = '\0';
    variant->text_length = length;
    variant->kind = TB_TEXT;
}

void tb_variant_set_integer(tb_variant* variant, long long value) {
    tb_variant_clear(variant);
    variant->kind = TB_INTEGER;
    variant->integer = value;
}

void tb_variant_set_boolean(tb_variant* variant, int value) {
    tb_variant_clear(variant);
    variant->kind = TB_BOOLEAN;
    variant->boolean = value != 0;
}

void tb_variant_set_double(tb_variant* variant, double value) {
    tb_variant_clear(variant);
    variant->kind = TB_DOUBLE;
    variant->real = value;
}

tb_status tb_create(const char* prog_id, tb_object** object) {
    if (!prog_id || !object) return TB_INVALID_ARGUMENT;
    *object = nullptr;
    trellybridge::registerComponentClasses();
    try {
        auto target = trellybridge::platform::ObjectRegistry::instance().create(prog_id);
        if (!target) return TB_UNKNOWN_CLASS;
        *object = new tb_object{std::move(target)};
        return TB_OK;
    } catch (...) {
        return TB_UNKNOWN_CLASS;
    }
}

tb_status tb_invoke(tb_object* object, const char* member, const tb_variant* arguments,
                    size_t argument_count, tb_variant* result) {
    if (argument_count && !arguments) return TB_INVALID_ARGUMENT;
    std::vector<Variant> converted;
    for (size_t i = 0; i < argument_count; ++i) converted.push_back(fromC(arguments[i]));
    return invokeOn(object, member, MemberKind::Method, converted, result);
}

tb_status tb_cancel(tb_object* object) {
    if (!object || !object->cancel) return TB_INVALID_ARGUMENT;
    object->cancel->raise();
    return TB_OK;
}

tb_status tb_get_property(tb_object* object, const char* name, tb_variant* value) {
    if (!value) return TB_INVALID_ARGUMENT;
    return invokeOn(object, name, MemberKind::Get, {}, value);
}

tb_status tb_put_property(tb_object* object, const char* name, const tb_variant* value) {
    if (!value) return TB_INVALID_ARGUMENT;
    return invokeOn(object, name, MemberKind::PutByValue, {fromC(*value)}, nullptr);
}

tb_status tb_putref_property(tb_object* object, const char* name, const tb_variant* value) {
    if (!value) return TB_INVALID_ARGUMENT;
    return invokeOn(object, name, MemberKind::PutByReference, {fromC(*value)}, nullptr);
}

tb_status tb_last_error(tb_object* object, int* number, tb_variant* description) {
    if (!object || !object->target || !number || !description) return TB_INVALID_ARGUMENT;
    const trellybridge::platform::RaisedError& raised = object->target->raisedError();
    *number = raised.number;
    toC(Variant(raised.description), description);
    return TB_OK;
}

tb_status tb_patient_as_fhir(tb_object* object, const char* identifier_system, tb_variant* json) {
    if (!object || !json) return TB_INVALID_ARGUMENT;
    auto comm = std::dynamic_pointer_cast<trellybridge::TrellyBridgeCommObject>(object->target);
    if (!comm) return TB_UNKNOWN_MEMBER;
    try {
        std::string system = identifier_system ? identifier_system : "";
        if (!trellybridge::TrellyBridgeComm::fhirSystemProblem(system).empty())
            return TB_INVALID_ARGUMENT;
        std::string bundle = comm->comm().patientAsFhir(system);
        toC(bundle.empty() ? Variant() : Variant(bundle), json);
        return TB_OK;
    } catch (...) {
        return TB_FAILED;
    }
}

const char* tb_setting_name(size_t index) {
    return nameAt(settingNames(), index);
}

const char* tb_property_name(size_t index) {
    return nameAt(propertyNames(), index);
}

const char* tb_format_name(size_t index) {
    return nameAt(formatNames(), index);
}

const char* tb_bridge_name(size_t index) {
    return nameAt(bridgeNames(), index);
}

tb_status tb_error_count(tb_object* object, size_t* count) {
    if (!object || !object->target || !count) return TB_INVALID_ARGUMENT;
    auto entries = errorEntries(object);
    if (!entries) return TB_UNKNOWN_MEMBER;
    *count = entries->size();
    return TB_OK;
}

tb_status tb_error_entry(tb_object* object, size_t index, int* code, tb_variant* description) {
    if (!object || !object->target || !code || !description) return TB_INVALID_ARGUMENT;
    auto entries = errorEntries(object);
    if (!entries) return TB_UNKNOWN_MEMBER;
    if (index >= entries->size()) return TB_INVALID_ARGUMENT;
    *code = (*entries)[index].code;
    toC(Variant((*entries)[index].message), description);
    return TB_OK;
}

void tb_release(tb_object* object) {
    delete object;
}

const char* tb_version(void) {
    return TRELLYBRIDGE_VERSION_TEXT;
}

tb_status tb_fill_defaults(tb_variant* settings, size_t count) {
    if (!settings) return TB_INVALID_ARGUMENT;
    if (count != trellybridge::GetPatientArguments::kCount &&
        count != trellybridge::GetPatientArguments::kCount - 1)
        return TB_BAD_ARGUMENT_COUNT;
    trellybridge::GetPatientArguments arguments = argumentsFrom(settings, count);
    arguments.fillDefaults();
    for (size_t i = 0; i < count; ++i)
        if (fromC(settings[i]).isEmptyText()) toC(arguments.at(i), &settings[i]);
    return TB_OK;
}

tb_status tb_setting_problems(const tb_variant* settings, size_t count, tb_variant* problems) {
    if (!settings || !problems) return TB_INVALID_ARGUMENT;
    if (count != trellybridge::GetPatientArguments::kCount &&
        count != trellybridge::GetPatientArguments::kCount - 1)
        return TB_BAD_ARGUMENT_COUNT;
    std::string text;
    for (const std::string& problem : argumentsFrom(settings, count).settingProblems())
        text += (text.empty() ? "" : "\n") + problem;
    toC(Variant(text), problems);
    return TB_OK;
}

tb_status tb_set_pace(const char* pace) {
    if (!pace || !*pace) {
        trellybridge::setThreadPace(std::nullopt);
        return TB_OK;
    }
    std::optional<trellybridge::Pace> named = trellybridge::paceNamed(pace);
    if (!named) return TB_INVALID_ARGUMENT;
    trellybridge::setThreadPace(named);
    return TB_OK;
}

const char* tb_status_text(tb_status status) {
    switch (status) {
        case TB_OK: return "ok";
        case TB_UNKNOWN_CLASS: return "no class is registered under that ProgID";
        case TB_UNKNOWN_MEMBER: return "the object has no such member";
        case TB_BAD_ARGUMENT_COUNT: return "wrong number of arguments";
        case TB_NOT_IMPLEMENTED: return "the member is not available in this build";
        case TB_INVALID_ARGUMENT: return "invalid argument";
        case TB_FAILED: return "the member failed";
    }
    return "unknown status";
}

}  // extern "C"
