#pragma once

#include <pthread.h>

// The status thread: one per process, started and stopped by the host.
int CreateStatusThread(void* handle);
void KillThread();
void* GetPrinterStatusThreadProc(void* handle);

// Stops the status thread when it polls through this handle, so that the
// handle can be destroyed without pulling the transport from under it.
void StopStatusThreadUsing(void* handle);

// Whether the status thread polls through this handle (so the printer sends
// an automatic status block at every change).
bool StatusThreadReads(void* handle);
