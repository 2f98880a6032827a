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

#ifndef KESTO_API
#if defined(KESTO_BUILDING_LIBRARY)
#define KESTO_API __attribute__((visibility("default")))
#else
#define KESTO_API
#endif
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
/* Device handles. Results: -1 for a null handle or no connection.     */
/* The first call that needs the printer opens the connection.         */
/* ------------------------------------------------------------------ */

/* Reads a <device> description (length bytes) and makes a handle; null for unknown,
   serial or parallel printers. Empties the debug log first. Opens nothing. */
KESTO_API void* KESTO_CreateDevicePointer(char* description, int descriptionLength);
/* Stops a status thread polling through the handle, closes the transport, frees the handle. 1; -1 for null. */
KESTO_API int KESTO_DestroyDevicePointer(void* handle);
/* Stores nothing; always 1. */
KESTO_API int KESTO_SetUserData(void* handle, void* userData);
/* The transport's last error number, else the one kept from the last failed connection; -1 for null. */
KESTO_API int KESTO_GetLastError(void* handle);
/* Marks the device absent: every command fails until KESTO_DeviceReconnected. 1; -1 for null. */
KESTO_API int KESTO_DeviceDisconnected(void* handle);
/* Marks the device present again. 1; -1 for null. */
KESTO_API int KESTO_DeviceReconnected(void* handle);
/* Registers the status callback (called on the status thread with each code). 1; -1 without connection. */
KESTO_API int KESTO_OnPrinterError(void* handle, int (*statusCallback)(int));
/* Writes the bytes as they are; the transport's count, -1 without connection or with null data. */
KESTO_API int KESTO_WriteData(void* handle, const char* data, int dataLength);
/* Writes "0.6.0.2" when bufferSize is at least 15, else an empty text; a null buffer is left alone. */
KESTO_API void KESTO_GetVersionString(char* buffer, int bufferSize);
/* No parallel ports are reported: always 0. */
KESTO_API int GetAvailableParallelPorts(void* unused);
/* No serial ports are reported: always 0. */
KESTO_API int GetAvailableSerialPorts(void* unused);

/* ------------------------------------------------------------------ */
/* Status thread and status codes.                                     */
/* ------------------------------------------------------------------ */

/* The codes KESTO_GetPrinterStatus returns and the status callback receives. An empty roll
   trips the near-end sensor too: paper end outranks near end (19, then 32 when refilled). */
enum {
    KESTO_STATUS_NOTHING = 0,                 /* nothing to report */
    KESTO_STATUS_DRAWER_PIN_LOW = 3,          /* drawer kick-out connector pin 3 went low */
    KESTO_STATUS_DRAWER_PIN_HIGH = 6,         /* pin 3 went high */
    KESTO_STATUS_COVER_OPEN = 7,
    KESTO_STATUS_COVER_CLOSED = 9,            /* after KESTO_STATUS_COVER_OPEN */
    KESTO_STATUS_PAPER_END = 19,
    KESTO_STATUS_PAPER_NEAR_END_CLEARED = 23, /* after KESTO_STATUS_PAPER_NEAR_END */
    KESTO_STATUS_PAPER_NEAR_END = 24,
    KESTO_STATUS_PAPER_END_CLEARED = 32       /* after KESTO_STATUS_PAPER_END */
};

/* After one second, starts the one status thread of the process polling through handle
   (a running one is stopped first). 1 started, -1 not. */
KESTO_API int KESTO_CreateStatusThread(void* handle);
/* Stops and joins the status thread; nothing happens without one. */
KESTO_API void KESTO_DestroyStatusThread(void* handle);
/* One status query (also calls the callback); its code, -1 without connection. */
KESTO_API int KESTO_GetPrinterStatus(void* handle);

/* ------------------------------------------------------------------ */
/* Barcodes, sample receipts, images.                                  */
/* ------------------------------------------------------------------ */

/* The type codes of KESTO_PrintBarcode; 266 to 271 are not assigned. */
enum {
    BARCODE_TYPE_UPCA = 0x101,
    BARCODE_TYPE_UPCE = 0x102,
    BARCODE_TYPE_EAN8 = 0x103,
    BARCODE_TYPE_EAN13 = 0x104,
    BARCODE_TYPE_ITF = 0x105,
    BARCODE_TYPE_CODABAR = 0x106,
    BARCODE_TYPE_CODE39 = 0x107,
    BARCODE_TYPE_CODE93 = 0x108,
    BARCODE_TYPE_CODE128 = 0x109,
    BARCODE_TYPE_QRCODE = 0x110,
    BARCODE_TYPE_PDF417 = 0x111
};

/* Prints a barcode of one of the types above: the barcode init run, then the type's commands
   and the data. 0 once a transport was had (unknown types send only the init run). -1, with
   nothing sent, for: a null handle or a printer that cannot connect; a negative length; null
   data with a length above 0; CODE93 or CODE128 data over 255 bytes; QR or PDF417 data over
   65,532 bytes. */
KESTO_API int KESTO_PrintBarcode(void* handle, int type, const char* data, int length);
/* Demonstration receipts: 0 when run; receipts 1 and 2 give -1 without connection. */
KESTO_API int KESTO_PrintSampleReceipt1(void* handle);
KESTO_API int KESTO_PrintSampleReceipt2(void* handle);
KESTO_API int KESTO_PrintSampleReceipt3(void* handle);
KESTO_API int KESTO_PrintSampleReceipt4(void* handle);
/* Prints an image file: the conversion script (KESTO_CONVERT_SCRIPT, else the installed
   Convert.sh) turns it into /tmp/saved1.bmp, which is sent as one raster image. The last
   write's result (2 when all went out); -1 without connection or when nothing convertible
   came back (a script running over 60 s is stopped). */
KESTO_API int KESTO_PrintImage(void* handle, const char* fileName);
/* 1 when the BMP file has 1, 8, 16, 24 or 32 bits per pixel and is stored bottom-up; else 0. */
KESTO_API int KESTO_IsBMPSupported(void* handle, const char* fileName);

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

/* ------------------------------------------------------------------ */
/* ESC/POS formatting commands. Each sends one command in one write   */
/* and returns the transport's result (bytes written), or -1 when the */
/* device has no transport. Only the low 8 bits of each int parameter */
/* are sent. No log entry, no print-in-progress flag.                 */
/* ------------------------------------------------------------------ */
#ifdef __cplusplus
extern "C" {
#endif

/* GS B 1: white/black reverse printing on. */
KESTO_API int Set_Reverse_PrintingON(void* handle);
/* GS B 0: reverse printing off. */
KESTO_API int Set_Reverse_PrintingOFF(void* handle);
/* HT: move to the next horizontal tab position. */
KESTO_API int SetHorizontalTab(void* handle);
/* LF: print and feed one line. */
KESTO_API int LineFeed(void* handle);
/* FF: in page mode, print and return to standard mode. */
KESTO_API int PrintNReturn2StdPageMode(void* handle);
/* CR: print and carriage return. */
KESTO_API int PrintNCarriageReturn(void* handle);
/* CAN: cancel the print data of page mode. */
KESTO_API int CancelPrintDataPageMode(void* handle);
/* DLE ENQ 1: recover from a recoverable error and go on printing. */
KESTO_API int RecoverErrorNPrint(void* handle);
/* DLE ENQ 2: recover after clearing the receive and print buffers. */
KESTO_API int RecoverErrorNCancelPrint(void* handle);
/* ESC FF: print the data of page mode. */
KESTO_API int PrintInPageMode(void* handle);
/* ESC M 0: character font A. */
KESTO_API int SelectCharFontA(void* handle);
/* ESC ! 08: font A, emphasized. */
KESTO_API int SelectCharFontABold(void* handle);
/* ESC ! 00: font A, every print-mode bit off. */
KESTO_API int CancelDoubleHeight(void* handle);
/* ESC ! 10: font A, double height. */
KESTO_API int SelectCharFontADoubleHeight(void* handle);
/* ESC ! 20: font A, double width. */
KESTO_API int SelectCharFontADoubleWidth(void* handle);
/* ESC ! 80: font A, underline. */
KESTO_API int SelectCharFontAUnderline(void* handle);
/* ESC M 1: character font B. */
KESTO_API int SelectCharFontB(void* handle);
/* ESC ! 09: font B, emphasized. */
KESTO_API int SelectCharFontBBold(void* handle);
/* ESC ! 11: font B, double height. */
KESTO_API int SelectCharFontBDoubleHeight(void* handle);
/* ESC ! 21: font B, double width. */
KESTO_API int SelectCharFontBDoubleWidth(void* handle);
/* ESC ! 81: font B, underline. */
KESTO_API int SelectCharFontBUnderline(void* handle);
/* ESC - 1: one-dot underline. */
KESTO_API int TurnUnderlineONThin(void* handle);
/* ESC - 2: two-dot underline. */
KESTO_API int TurnUnderlineONThick(void* handle);
/* ESC - 0: underline off. */
KESTO_API int TurnUnderlineOFF(void* handle);
/* ESC 2: default line spacing. */
KESTO_API int SetDefaultLineSpacing(void* handle);
/* ESC = 1: printer enabled. */
KESTO_API int EnablePrinter(void* handle);
/* ESC = 0: printer disabled. */
KESTO_API int DisablePrinter(void* handle);
/* ESC E 1: emphasized on. */
KESTO_API int TurnBoldON(void* handle);
/* ESC E 0: emphasized off. */
KESTO_API int TurnBoldOFF(void* handle);
/* ESC G 1: double-strike on. */
KESTO_API int TurnDoubleStrikeON(void* handle);
/* ESC G 0: double-strike off. */
KESTO_API int TurnDoubleStrikeOFF(void* handle);
/* ESC L: page mode. */
KESTO_API int SelectPageMode(void* handle);
/* ESC S: standard mode. */
KESTO_API int SelectStdMode(void* handle);
/* ESC T 0: page-mode direction left to right. */
KESTO_API int PageModePrintLeft2Right(void* handle);
/* ESC T 1: page-mode direction bottom to top. */
KESTO_API int PageModePrintBottom2Top(void* handle);
/* ESC T 2: page-mode direction right to left. */
KESTO_API int PageModePrintRight2Left(void* handle);
/* ESC T 3: page-mode direction top to bottom. */
KESTO_API int PageModePrintTop2Bottom(void* handle);
/* ESC V 1: 90-degree clockwise rotation on. */
KESTO_API int Turn90ClockwiseRotationON(void* handle);
/* ESC V 0: rotation off. */
KESTO_API int Turn90ClockwiseRotationOFF(void* handle);
/* ESC a 0: left justification. */
KESTO_API int SetLeftAllign(void* handle);
/* ESC a 1: centring. */
KESTO_API int SetCenterAllign(void* handle);
/* ESC a 2: right justification. */
KESTO_API int SetRightAllign(void* handle);
/* ESC ! 00: every print-mode bit off (normal size). */
KESTO_API int SelectCharSizeNormal(void* handle);
/* GS ! 01 ... 07: character height x2 ... x8, width x1. */
KESTO_API int SelectCharSizeHeight2(void* handle);
KESTO_API int SelectCharSizeHeight3(void* handle);
KESTO_API int SelectCharSizeHeight4(void* handle);
KESTO_API int SelectCharSizeHeight5(void* handle);
KESTO_API int SelectCharSizeHeight6(void* handle);
KESTO_API int SelectCharSizeHeight7(void* handle);
KESTO_API int SelectCharSizeHeight8(void* handle);
/* GS ! 10 ... 70: character width x2 ... x8, height x1. */
KESTO_API int SelectCharSizeWidth2(void* handle);
KESTO_API int SelectCharSizeWidth3(void* handle);
KESTO_API int SelectCharSizeWidth4(void* handle);
KESTO_API int SelectCharSizeWidth5(void* handle);
KESTO_API int SelectCharSizeWidth6(void* handle);
KESTO_API int SelectCharSizeWidth7(void* handle);
KESTO_API int SelectCharSizeWidth8(void* handle);

/* ESC t p1: character code table p1. */
KESTO_API int SelectPage(void* handle, int p1);
/* GS L nL nH: left margin p1 in motion units, sent as low and high byte. */
KESTO_API int SetLeftMargin(void* handle, int p1);
/* GS ! p1: character size (bits 0-2 height, bits 4-6 width, magnification minus one). */
KESTO_API int SelectCharSize(void* handle, int p1);
/* ESC T p1: print direction (0 left to right ... 3 top to bottom). */
KESTO_API int SetPrintDirection(void* handle, int p1);
/* GS w p1: barcode module width. */
KESTO_API int Set_Barcode_Width(void* handle, int p1);
/* ESC W p1..p8: page-mode printing area x, y, width, height, each low byte then high byte. */
KESTO_API int Set_Print_Range(void* handle, int p1, int p2, int p3, int p4, int p5, int p6, int p7, int p8);
/* GS P p1 p2: horizontal and vertical motion units. */
KESTO_API int Set_Motion_Units(void* handle, int p1, int p2);
/* GS H p1: position of the human-readable characters of barcodes. */
KESTO_API int SetPrinting_Position(void* handle, int p1);
/* ESC SP p1: right-side character spacing. */
KESTO_API int SetRightsideCharSpacing(void* handle, int p1);
/* ESC $ p1 p2: absolute print position, p1 low byte, p2 high byte. */
KESTO_API int SetAbsolutePosition(void* handle, int p1, int p2);
/* ESC 3 p1: line spacing of p1 motion units. */
KESTO_API int SetLinSpacing(void* handle, int p1);
/* ESC D p1 p2: horizontal tab positions; no closing 00 is added (pass p2 = 0 to close the list). */
KESTO_API int SetHorizontalTabSpace(void* handle, int p1, int p2);
/* ESC J p1: print and feed p1 motion units. */
KESTO_API int PrintNFeedPaper(void* handle, int p1);
/* ESC \ p1 p2: print position relative to the current one, p1 low byte, p2 high byte. */
KESTO_API int SetStartPrintPosition(void* handle, int p1, int p2);
/* ESC d p1: print and feed p1 lines. */
KESTO_API int PrintNFeedNLines(void* handle, int p1);

/* ------------------------------------------------------------------ */
/* Text, paper cut and cash drawer.                                    */
/* ------------------------------------------------------------------ */

/* Prints length bytes of text (zero-filled behind its end) as one block:
 * ESC M 0, then ESC @ ESC ! 0, three zero bytes and the text, then ESC d 1.
 * flag is unused. Returns the block's write result (length + 8 when all was
 * written); -1 without a transport, for a null text or a negative length
 * (nothing sent). Texts of any length go out whole in one block. */
KESTO_API int KESTO_PrintText(void* handle, const char* text, int length, bool flag);
/* Writes the NUL-terminated text as it is, nothing added; the write's result, -1 without a
 * transport or for a null text. */
KESTO_API int PrintText(void* handle, const char* text);
/* Initialises the printer and makes a partial cut (ESC i); the cut's write result, or -1. */
KESTO_API int KESTO_CutPaper(void* handle);
/* GS V 66 3: feed to the cutting position and cut partially; the write result, or -1. */
KESTO_API int KESTO_FeedAndCutPaper(void* handle);
/* ESC p 0 t1 t2: drawer pulse on connector pin 2 (units of 2 ms); the write result, or -1. */
KESTO_API int KESTO_OpenCashDrawerA(void* handle, int onTime, int offTime);
/* ESC p 1 t1 t2: the same on connector pin 5. */
KESTO_API int KESTO_OpenCashDrawerB(void* handle, int onTime, int offTime);

/* ================================================================== */
/* Extensions: calls beyond the original interface. They add; no      */
/* original call above changes its bytes, results or log lines.       */
/* State they keep belongs to one device handle, never the process.   */
/* ================================================================== */

/* ---- Text in the shop's language (UTF-8 through the code tables) ---- */

/* Multibyte code systems that may stand in a code-table list beside the ESC t
 * numbers. A printer has at most one multibyte font: the first of the list
 * counts, any other is passed over. The library converts to them with the C
 * library's iconv: a host needs glibc's GB18030, SHIFT_JIS, BIG5 and EUC-KR
 * converters (the gconv modules every glibc installation ships). */
enum {
    KESTO_CODES_GB18030 = 256,
    KESTO_CODES_SHIFT_JIS = 257,
    KESTO_CODES_BIG5 = 258,
    KESTO_CODES_KSC5601 = 259
};

/* Prints length bytes of UTF-8 text as PrintText prints raw bytes: no reset,
 * no framing, no line feed added, so the formatting set before stays and a
 * '\n' feeds a line. ASCII goes out as it is; every other character through a
 * code table of the printer's list that holds it (see KESTO_SetCodeTables),
 * with ESC t n before the first such character of the call and wherever the
 * table has to change. The table in force stays while it holds the next
 * character; otherwise the table of the list that holds the longest stretch
 * of what follows (the first of the list among equals) is selected. A
 * character no single-byte table of the list holds but a listed multibyte
 * system does goes out in the multibyte mode (FS & ... FS ., FS C 1 before the
 * first Shift JIS run of the call). A character nothing holds prints as '?',
 * and so does each byte of invalid UTF-8 (cut sequences, overlong forms,
 * surrogates). One write; returns its result (the count of encoded bytes
 * written), or -1 without a transport, for a null text or a negative length
 * (nothing sent). Logs the call and its result and raises the print-in-progress
 * flag while it writes. */
KESTO_API int KESTO_PrintTextUtf8(void* handle, const char* text, int length);

/* The code tables this printer holds, in its order of preference (printers
 * differ by model and firmware): ESC t numbers 0 PC437, 1 Katakana, 2 PC850,
 * 3 PC860, 4 PC863, 5 PC865, 14 PC737, 16 WPC1252, 17 PC866, 18 PC852,
 * 19 PC858, 33 WPC775, 34 PC855, 36 PC862, 37 PC864, 45 WPC1250, 46 WPC1251,
 * 47 WPC1253, 49 WPC1255, 50 WPC1256, 51 WPC1257, and the KESTO_CODES_*
 * systems. count 0 restores the default list: 0 1 2 3 4 5 14 16 17 18 19 33
 * 34 45 46 47 51 (no right-to-left tables: they print in storage order, and
 * Arabic unshaped; no multibyte system: a printer without that font prints
 * garbage). Returns 1; -1 for a null handle, a negative count, a null list
 * with a positive count or a number outside the list above, and then the
 * printer's list stays as it was. The list belongs to this handle; it needs no
 * connection and sends nothing. */
KESTO_API int KESTO_SetCodeTables(void* handle, const int* tables, int count);

/* ---- Printer state and print confirmation ---- */

/* The printer's whole state as a bit set; 0 is on-line with nothing to
 * report. Several bits may be set at once (cover open and paper end). Read
 * from the automatic status block or the real-time status replies of the
 * printer; a printer that does not tell a condition never sets its bit (a
 * mechanical error has no bit of its own: it shows as KESTO_STATE_OFFLINE). */
enum {
    KESTO_STATE_OFFLINE = 0x001,                /* the printer does not print */
    KESTO_STATE_COVER_OPEN = 0x002,
    KESTO_STATE_PAPER_END = 0x004,              /* roll end sensor: no paper */
    KESTO_STATE_PAPER_NEAR_END = 0x008,         /* roll near-end sensor: little paper left */
    KESTO_STATE_FEED_BUTTON = 0x010,            /* the feed button is pressed, or feeding */
    KESTO_STATE_DRAWER_PIN_HIGH = 0x020,        /* drawer kick-out connector pin 3 is high */
    KESTO_STATE_WAITING_RECOVERY = 0x040,       /* off-line, waiting to go on-line again */
    KESTO_STATE_CUTTER_ERROR = 0x080,           /* auto-cutter jammed: recover after clearing it */
    KESTO_STATE_UNRECOVERABLE_ERROR = 0x100,    /* switch the printer off */
    KESTO_STATE_AUTO_RECOVERABLE_ERROR = 0x200  /* e.g. head too hot: printing goes on by itself */
};

/* Called on a library thread with the printer's whole state at every change. */
typedef void (*KESTO_PrinterStateCallback)(void* handle, int state, void* userData);

/* The printer's state, never older than about a second: the latest automatic
 * status block when the status thread reads this printer or a state callback
 * is registered on it (no wire traffic then), else the real-time status
 * replies (DLE EOT 1 to 4) asked for at the call. -1: no transport, or no
 * answer within 2 s (KESTO_GetLastError gives ETIMEDOUT, or the write's error).
 * Logged when the printer is asked or the answer differs from the last one,
 * so that a host polling the state does not fill the log. */
KESTO_API int KESTO_GetPrinterState(void* handle);

/* Registers callback for this handle (replacing an earlier one); a null
 * callback unregisters. Registering switches the printer to automatic status
 * back (the printer then sends its state at once and at every change), whether
 * the status thread runs or not. Once unregistering (or destroying the handle)
 * returns, the callback is not called again. The callback runs on the thread
 * that reads the printer's answers: do not wait for a confirmation or destroy
 * the handle from inside it. 1; -1 no transport. */
KESTO_API int KESTO_OnPrinterState(void* handle, KESTO_PrinterStateCallback callback, void* userData);

/* Confirms that everything sent to this printer before the call is printed:
 * sends a process-ID request (GS ( H, function 48) with an identifier of its
 * own and waits for the printer's response carrying it. 1 confirmed; 0 not
 * within timeoutMs (KESTO_GetPrinterState then tells why: paper end, cover
 * open, off-line; a printer that never answers ends here too, never in 1);
 * -1 no transport. Works over TCP and USB, with and without the status
 * thread, from several threads at once (each call waits for its own id). */
KESTO_API int KESTO_WaitPrinted(void* handle, int timeoutMs);

#ifdef __cplusplus
}

#include <string>

/* A copy of text in which, at each occurrence of what, its first character is
 * replaced by with; the search resumes behind the inserted text. An empty what
 * leaves text unchanged. */
KESTO_API std::string replaceinString(std::string text, std::string what, std::string with);
#endif

#endif /* KESTO_KESTO_H */
