/*
 * libKESTOCommu: host-facing C interface.
 *
 * A JavaPOS device service (or any other host) loads libKESTOCommu.so and calls
 * these functions by their plain names. Every function may be called from any
 * host thread; none lets a C++ exception escape.
 */
#ifndef KESTO_KESTO_H
#define KESTO_KESTO_H

#include <pthread.h>
#include <stdbool.h>
#include <stddef.h>

#if defined(KESTO_BUILDING_LIBRARY)
#define KESTO_API __attribute__((visibility("default")))
#else
#define KESTO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------ */
/* Debug log: every entry is appended to /tmp/kestoDebugLog.log.       */
/* ------------------------------------------------------------------ */

/* Writes the local date and time ("%c") into buffer; the caller gives at least 80 bytes. */
KESTO_API void GetDateTime(char* buffer);
/* Appends one time-stamped, printf-formatted entry; long entries are cut at 1023 bytes. */
KESTO_API void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
/* Logs text followed by a blank and a line end. */
KESTO_API void OutputDebugString(const char* text);
/* Logs the bits of size bytes at data, last byte first, bit 7 first, one entry per bit. */
KESTO_API void printBits(unsigned long size, const void* data);

/* ------------------------------------------------------------------ */
/* Events (counting semaphores) and timed waits.                       */
/* ------------------------------------------------------------------ */

/* Opaque to hosts; the library's own events are static objects. */
typedef struct Event Event;

/* Prepares the event with a count of 0; always returns 1. */
KESTO_API int InitEvent(Event* event);
/* Posts the event once; a null event is ignored. */
KESTO_API void TriggerEvent(Event* event);
/* timeout -1 waits without limit (0 when taken); 0 polls (0 taken, -1 not); null event gives 1. */
KESTO_API int WaitForEvent(Event* event, int timeout);
/* Releases the event's semaphore; 0 on success, -1 on failure. */
KESTO_API int DestroyEvent(Event* event);
/* waitSwitch 0 returns at once; otherwise polls the semaphore like WaitForEvent(e, 0). */
KESTO_API long WaitForSem4(void* semaphore, unsigned long timeout, int waitSwitch);
/* Body of the timer thread of a timed wait; returns the errno of its last failure or 0. */
KESTO_API void* timeoutThreadMain(void* timerRecord);
/* Ends and joins the timer thread of a timed wait. */
KESTO_API void timeoutThreadCleanup(void* cleanupRecord);
/* Installs a do-nothing handler for sig and sends sig to thread; 0 or the failing call's result. */
KESTO_API int triggerSignal(int sig, pthread_t thread);
/* The do-nothing handler that lets the wake-up signal interrupt a blocked wait. */
KESTO_API void ignoreSignal(int sig);

/* ------------------------------------------------------------------ */
/* Mutexes, threads and clock.                                         */
/* ------------------------------------------------------------------ */

/* pthread_mutex_init with default attributes; its result. */
KESTO_API int InitMutex(pthread_mutex_t* mutex);
/* Locks the mutex; a null pointer gives 0 and does nothing. */
KESTO_API int LockMutex(pthread_mutex_t* mutex);
/* Unlocks the mutex; a null pointer is ignored. */
KESTO_API void UnLockMutex(pthread_mutex_t* mutex);
/* Destroys the mutex; a null pointer is ignored. */
KESTO_API void DestroyMutex(pthread_mutex_t* mutex);
/* Starts a joinable thread running entry(arg); its id, or 0 when it cannot start. id is unused. */
KESTO_API pthread_t CreateGenericThread(void* (*entry)(void*), pthread_t* id, void* arg);
/* Elapsed real time in clock ticks (sysconf(_SC_CLK_TCK) per second) from a fixed point. */
KESTO_API long GetTickCount(void);

/* ------------------------------------------------------------------ */
/* Utilities.                                                          */
/* ------------------------------------------------------------------ */

/* Lower-cases a NUL-terminated text in place; a null pointer is left alone. */
KESTO_API void stringToLower(char* text);

/* ------------------------------------------------------------------ */
/* Device notification channel and serial probe.                       */
/* ------------------------------------------------------------------ */

/* Loopback endpoints of the notification channel, tried in this order. */
extern KESTO_API const char* const MSG_IP[5];
/* Their ports; the three trailing zeros are never used. */
extern KESTO_API const int MSG_PORTS[8];

/* Binds the first free endpoint and calls callback(NULL) once for each of "DEVICE_ADD" and
   "DEVICE_REMOVE" in every datagram; returns only when no endpoint can be bound. slot is unused. */
KESTO_API void MonitorDeviceNotification(int* slot, void (*callback)(void*));
/* Closes the descriptor in *slot and sets it to -1; a null slot or -1 is left alone. */
KESTO_API void DestroyDeviceNotification(int* slot);
/* 1 when /dev/ttyS<number> opens and reads (or fails other than with EIO), else 0. */
KESTO_API int TryOpenPort(int number);

/* ------------------------------------------------------------------ */
/* Hardware detection.                                                 */
/* ------------------------------------------------------------------ */

/* Makes a detector whose thread calls callback(NULL) on every hot-plug notification; NULL on failure. */
KESTO_API void* KESTO_CreateHardwareDetector(void (*callback)(void*));
/* Enumerates USB and writes the printer list: NULL buffer gives the size needed (length + 1);
   a buffer of at least that size gets the text and its NUL (same result); otherwise -1, untouched. */
KESTO_API int KESTO_GetHardwareXML(void* detector, char* buffer, size_t bufferSize);
/* Stops the detector's thread (no callback after this begins) and frees it; always 1. */
KESTO_API int KESTO_DestroyHardwareDetector(void* detector);

#ifdef __cplusplus
}
#endif

/* ------------------------------------------------------------------ */
/* Process-wide state of the Device API.                               */
/* C hosts see plain values; in C++ they are atomics of the same size  */
/* and layout, since host threads and the status thread share them.    */
/* ------------------------------------------------------------------ */
#ifdef __cplusplus
#include <atomic>
extern "C" {
/* True while a print call writes; the status thread does not poll meanwhile. */
extern KESTO_API std::atomic<bool> g_bPrintInProgress;
/* Stop request for the status thread. */
extern KESTO_API std::atomic<bool> g_bExitFlag;
/* The status thread, 0 when there is none. */
extern KESTO_API std::atomic<pthread_t> _threadHandle;
/* Posted to stop the status thread; the status read polls it. */
extern KESTO_API Event _terminateReader;
}
#else
extern KESTO_API bool g_bPrintInProgress;
extern KESTO_API bool g_bExitFlag;
extern KESTO_API pthread_t _threadHandle;
extern KESTO_API Event _terminateReader;
#endif

#endif /* KESTO_KESTO_H */
