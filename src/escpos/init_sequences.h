#pragma once

// Fixed runs of commands that put the printer into a known state. They work on
// a transport the caller has already obtained (and checked for null), write
// each command in its own Write, ignore the results and go on after a failed
// write. No log, no print-in-progress flag.

#include "platform/export.h"

class Communication;

// Initialise, printer enabled, print modes off, reverse off (4 writes).
KESTO_API void SendInitCommand(Communication* comm);
// Character set and code table, paper sensors, motion units, feeds (7 writes);
// sent after SendInitCommand before raster images.
KESTO_API void SendInitCommand2(Communication* comm);
// SendInitCommand, then the settings barcode printing relies on (15 writes).
KESTO_API void SendBarcodeInitCommand(Communication* comm);
