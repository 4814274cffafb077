/* TrellyBridge C interface, for hosts written in other languages.
 *
 * Create an object by ProgID ("TrellyBridge.TrellyBridgeComm"), invoke its members by
 * name with variant arguments, read and write its properties by name, and release it.
 * Objects belong to the thread that created them. Text is passed as bytes (one byte per
 * character); text returned in a variant is owned by the variant until
 * tb_variant_clear. */
#ifndef TRELLYBRIDGE_H
#define TRELLYBRIDGE_H

#include <stddef.h>

#include "trellybridge/Export.h"

/* The version these headers belong to; tb_version() gives the library's. */
#define TRELLYBRIDGE_VERSION_MAJOR 2013
#define TRELLYBRIDGE_VERSION_MINOR 1

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tb_object tb_object;

typedef enum tb_kind {
    TB_EMPTY = 0,
    TB_BOOLEAN = 1,
    TB_INTEGER = 2,
    TB_DOUBLE = 3,
    TB_TEXT = 4,
    TB_OBJECT = 5
} tb_kind;

typedef struct tb_variant {
    tb_kind kind;
    int boolean;       /* TB_BOOLEAN: 0 or 1 */
    long long integer; /* TB_INTEGER */
    double real;       /* TB_DOUBLE */
    char* text;        /* TB_TEXT: NUL-terminated, text_length bytes before the NUL */
    size_t text_length;
    tb_object* object; /* TB_OBJECT */
} tb_variant;

typedef enum tb_status {
    TB_OK = 0,
    TB_UNKNOWN_CLASS = 1,
    TB_UNKNOWN_MEMBER = 2,
    TB_BAD_ARGUMENT_COUNT = 3,
    TB_NOT_IMPLEMENTED = 4,
    TB_INVALID_ARGUMENT = 5,
    TB_FAILED = 6 /* the member raised an error (tb_last_error says which), as getASCII does
                     for a text that is no code */
} tb_status;

/* Variant helpers. Setting text copies it. */
TRELLYBRIDGE_API void tb_variant_init(tb_variant* variant);
TRELLYBRIDGE_API void tb_variant_set_text(tb_variant* variant, const char* text);
TRELLYBRIDGE_API void tb_variant_set_integer(tb_variant* variant, long long value);
TRELLYBRIDGE_API void tb_variant_set_boolean(tb_variant* variant, int value);
TRELLYBRIDGE_API void tb_variant_set_double(tb_variant* variant, double value);
/* Frees what the variant owns and makes it empty. */
TRELLYBRIDGE_API void tb_variant_clear(tb_variant* variant);

TRELLYBRIDGE_API tb_status tb_create(const char* prog_id, tb_object** object);
/* Invokes a method; `result` (may be NULL) receives its value. */
TRELLYBRIDGE_API tb_status tb_invoke(tb_object* object, const char* member,
                                     const tb_variant* arguments, size_t argument_count,
                                     tb_variant* result);
/* Ends the request that `object` is running (GetPatient, GetPatientData) at once, as one
 * that found nothing, its FailureReason "the request was cancelled". Made for another
 * thread than the one running the request (a host's time bound, a user's Cancel button);
 * a cancel made while the object runs no request ends its next one at once. */
TRELLYBRIDGE_API tb_status tb_cancel(tb_object* object);
TRELLYBRIDGE_API tb_status tb_get_property(tb_object* object, const char* name, tb_variant* value);
TRELLYBRIDGE_API tb_status tb_put_property(tb_object* object, const char* name,
                                           const tb_variant* value);
TRELLYBRIDGE_API tb_status tb_putref_property(tb_object* object, const char* name,
                                              const tb_variant* value);
/* After a call that returned TB_FAILED: the error number the member raised and its
 * description (text). TB_INVALID_ARGUMENT when an argument is NULL. */
TRELLYBRIDGE_API tb_status tb_last_error(tb_object* object, int* number, tb_variant* description);
/* The record a TrellyBridgeComm object last published (GetPatient, ReturnPatient) as a
 * FHIR R4 Bundle in JSON text (UTF-8), into `json`; `json` is left empty (TB_EMPTY) when
 * no patient was found. `identifier_system` is the system of the account number
 * identifier (NULL or empty: the one TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM names, else
 * "urn:trellybridge:account"). TB_INVALID_ARGUMENT when that system is not an absolute
 * URI in printable ASCII; TB_UNKNOWN_MEMBER for an object of another class. */
TRELLYBRIDGE_API tb_status tb_patient_as_fhir(tb_object* object, const char* identifier_system,
                                              tb_variant* json);
TRELLYBRIDGE_API void tb_release(tb_object* object);
TRELLYBRIDGE_API const char* tb_status_text(tb_status status);
/* The library's version, "2013.1" (static text). */
TRELLYBRIDGE_API const char* tb_version(void);

/* The fifty GetPatient settings in call order (49 leaves out TimeDelay), as a host passes
 * them to tb_invoke(object, "GetPatient", ...): fills every empty one (TB_EMPTY or empty
 * text) with the default for the bridge and format the array names
 * (NetworkBridgeType, entry 1; VendorFormatType, entry 5). PatientID and the vendor's
 * address stay as they are. TB_BAD_ARGUMENT_COUNT for another count. */
TRELLYBRIDGE_API tb_status tb_fill_defaults(tb_variant* settings, size_t count);
/* What keeps those settings from making a request, one sentence a line ("PatientID is
 * not set", "AllowedRetries must be a whole number of 0 or more, not \"-1\""), into
 * `problems` as text; empty text when a request can be made. */
TRELLYBRIDGE_API tb_status tb_setting_problems(const tb_variant* settings, size_t count,
                                               tb_variant* problems);

/* The pace of the requests this thread makes from now on: "fast" runs each step as soon as
 * what it waits for has happened and tries a step that failed outright again one TimeDelay
 * later; "standard" keeps the schedule the settings describe. NULL or empty text leaves the
 * choice to TRELLYBRIDGE_PACE again (standard unless it says fast). Either name in any
 * case; TB_INVALID_ARGUMENT for any other text. */
TRELLYBRIDGE_API tb_status tb_set_pace(const char* pace);

/* The names a host passes and reads, as the component spells them: the fifty GetPatient
 * settings in call order, the 119 result properties in the interface's order, the answer
 * formats VendorFormatType names and the bridges NetworkBridgeType names. NULL for an
 * index past the last. The text is the library's; never freed. */
TRELLYBRIDGE_API const char* tb_setting_name(size_t index);
TRELLYBRIDGE_API const char* tb_property_name(size_t index);
TRELLYBRIDGE_API const char* tb_format_name(size_t index);
TRELLYBRIDGE_API const char* tb_bridge_name(size_t index);

/* The entries of the object's error list (its ErrorCodes property), oldest first: how
 * many there are, and the code and description of one. TB_INVALID_ARGUMENT for an index
 * past the last or a NULL argument. */
TRELLYBRIDGE_API tb_status tb_error_count(tb_object* object, size_t* count);
TRELLYBRIDGE_API tb_status tb_error_entry(tb_object* object, size_t index, int* code,
                                          tb_variant* description);

#ifdef __cplusplus
}
#endif

#endif
