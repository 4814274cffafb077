/* The USB patient-record component ("U3VitrioClasses.USB") as a shared library.
 *
 * A host that does not register the class itself names such a library in
 * TRELLYBRIDGE_USB_COMPONENT (an absolute path). The library exports one plain C
 * function under the name TRELLYBRIDGE_USB_ENTRY_POINT with the type below; no C++
 * type or exception crosses it. getUSBPatientData calls it with the input and output
 * file paths in the order the host gave them.
 *
 * On success it returns 0 and writes its result, NUL-terminated, into `result` (at most
 * `result_capacity` bytes, NUL included). On failure it returns the error number the
 * host is to see (not 0) and may write a NUL-terminated description into
 * `description`. Both buffers are owned by the caller. The library stays loaded while
 * the call runs and while any object made from it lives. */
#ifndef TRELLYBRIDGE_USB_COMPONENT_H
#define TRELLYBRIDGE_USB_COMPONENT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TRELLYBRIDGE_USB_ENTRY_POINT "trellybridge_usb_get_patient_data"

typedef int (*trellybridge_usb_get_patient_data_fn)(const char* input_file_path,
                                                    const char* output_file_path, char* result,
                                                    size_t result_capacity, char* description,
                                                    size_t description_capacity);

#ifdef __cplusplus
}
#endif

#endif
