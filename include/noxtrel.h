/*
 * NOXTREL: the exported C interface.
 *
 * One document at a time per process, and one calling thread at a time: the
 * library keeps a single global session and takes no locks.
 *
 * Every real quantity is a fixed-point integer (value x 10000). Strings are
 * NUL-terminated 8-bit strings in the ANSI code page. No call ever lets an
 * exception or a crash escape: a failure is recorded and can be read with
 * NxGetLastError / NxGetLastErrorText.
 */
#ifndef NOXTREL_H
#define NOXTREL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define NX_CALL __stdcall
#else
#define NX_CALL
#endif
#if defined(_WIN32)
#define NX_EXPORT __declspec(dllexport)
#else
#define NX_EXPORT __attribute__((visibility("default")))
#endif
#define NX_API NX_EXPORT NX_CALL

#ifdef __cplusplus
extern "C" {
#endif

/* The error channel: 0 = no error since the last successful NxBeginDoc. */
NX_EXPORT int32_t NX_CALL NxGetLastError(void);
/* Copies at most Size - 1 bytes of the last error's message and a NUL. */
NX_EXPORT void NX_CALL NxGetLastErrorText(char *Dest, int32_t Size);

#ifdef __cplusplus
}
#endif

#endif /* NOXTREL_H */
