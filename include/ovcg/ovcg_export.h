/* Marks the functions that libovcg.so exports (C linkage, default visibility). */
#ifndef OVCG_EXPORT_H
#define OVCG_EXPORT_H

#ifdef __cplusplus
#define OVCG_EXTERN_C extern "C"
#else
#define OVCG_EXTERN_C
#endif

#define OVCG_API OVCG_EXTERN_C __attribute__((visibility("default")))

#endif
