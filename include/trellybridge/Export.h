/* What the shared library exports: the public classes and functions carry
 * TRELLYBRIDGE_API; everything else in it is built hidden, so a host cannot come to
 * depend on the component's inner workings. Plain C, since trellybridge.h uses it. */
#ifndef TRELLYBRIDGE_EXPORT_H
#define TRELLYBRIDGE_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define TRELLYBRIDGE_API __attribute__((visibility("default")))
#else
#define TRELLYBRIDGE_API
#endif

#endif
