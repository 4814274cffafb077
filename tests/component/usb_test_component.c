/* A USB patient-record component library as a host would install one: it echoes the
 * paths it was given, in order, and fails for the input "missing". Built a second time
 * without its entry point. */
#include <stdio.h>
#include <string.h>

#include "trellybridge/usb_component.h"

#ifndef WITHOUT_ENTRY_POINT
int trellybridge_usb_get_patient_data(const char* input_file_path, const char* output_file_path,
                                      char* result, size_t result_capacity, char* description,
                                      size_t description_capacity) {
    if (strcmp(input_file_path, "missing") == 0) {
        snprintf(description, description_capacity, "no record on the drive");
        return 1017;
    }
    snprintf(result, result_capacity, "%s|%s", input_file_path, output_file_path);
    return 0;
}
#else
int some_other_function(void) {
    return 0;
}
#endif
