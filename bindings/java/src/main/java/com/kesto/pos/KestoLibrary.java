package com.kesto.pos;

import com.sun.jna.Callback;
import com.sun.jna.IntegerType;
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.NativeLong;
import com.sun.jna.Pointer;
import com.sun.jna.ptr.IntByReference;

/**
 * Every C function libKESTOCommu exports, as JNA sees it.
 *
 * <p>Handles are {@link Pointer}s, C {@code long} and {@code pthread_t} are {@link NativeLong},
 * {@code size_t} is {@link SizeT}. Buffers the library fills are {@code byte[]} (JNA copies them
 * back after the call). The library is loaded by the name {@code KESTOCommu} from
 * {@code jna.library.path} or the system's library path, on first use of {@link #INSTANCE}.
 *
 * <p>A callback handed to the library must stay strongly reachable for as long as native code
 * may call it; {@link KestoPrinter} and {@link KestoDetector} take care of that.
 */
public interface KestoLibrary extends Library {
    /** Loaded lazily, so that classes which never touch native code work without it. */
    KestoLibrary INSTANCE = Native.load("KESTOCommu", KestoLibrary.class);

    /** {@code size_t}. */
    final class SizeT extends IntegerType {
        private static final long serialVersionUID = 1L;

        public SizeT() { this(0); }

        public SizeT(long value) { super(Native.SIZE_T_SIZE, value, true); }
    }

    /** {@code int (*)(int)}: receives each printer status code. */
    interface StatusCallback extends Callback {
        int callback(int code);
    }

    /** {@code void (*)(void*)}: a printer was plugged in or pulled out; the argument is always null. */
    interface HotPlugCallback extends Callback {
        void callback(Pointer unused);
    }

    /** {@code void* (*)(void*)}: the entry of a thread started by {@code CreateGenericThread}. */
    interface ThreadEntry extends Callback {
        Pointer callback(Pointer argument);
    }

    // ---- Debug log ------------------------------------------------------------------------

    void GetDateTime(byte[] buffer);

    void DebugPrint(String format, Object... arguments);

    void OutputDebugString(String text);

    void printBits(NativeLong size, byte[] data);

    // ---- Events and timed waits -----------------------------------------------------------

    int InitEvent(Pointer event);

    void TriggerEvent(Pointer event);

    int WaitForEvent(Pointer event, int timeout);

    int DestroyEvent(Pointer event);

    NativeLong WaitForSem4(Pointer semaphore, NativeLong timeout, int waitSwitch);

    Pointer timeoutThreadMain(Pointer timerRecord);

    void timeoutThreadCleanup(Pointer cleanupRecord);

    int triggerSignal(int sig, NativeLong thread);

    void ignoreSignal(int sig);

    // ---- Mutexes, threads and clock -------------------------------------------------------

    int InitMutex(Pointer mutex);

    int LockMutex(Pointer mutex);

    void UnLockMutex(Pointer mutex);

    void DestroyMutex(Pointer mutex);

    NativeLong CreateGenericThread(ThreadEntry entry, Pointer id, Pointer argument);

    NativeLong GetTickCount();

    // ---- Device handles -------------------------------------------------------------------

    /** The description must be NUL-terminated as well as counted. */
    Pointer KESTO_CreateDevicePointer(byte[] description, int descriptionLength);

    int KESTO_DestroyDevicePointer(Pointer handle);

    int KESTO_SetUserData(Pointer handle, Pointer userData);

    int KESTO_GetLastError(Pointer handle);

    int KESTO_DeviceDisconnected(Pointer handle);

    int KESTO_DeviceReconnected(Pointer handle);

    int KESTO_OnPrinterError(Pointer handle, StatusCallback statusCallback);

    int KESTO_WriteData(Pointer handle, byte[] data, int dataLength);

    void KESTO_GetVersionString(byte[] buffer, int bufferSize);

    int GetAvailableParallelPorts(Pointer unused);

    int GetAvailableSerialPorts(Pointer unused);

    // ---- Status thread --------------------------------------------------------------------

    int KESTO_CreateStatusThread(Pointer handle);

    void KESTO_DestroyStatusThread(Pointer handle);

    int KESTO_GetPrinterStatus(Pointer handle);

    // ---- Barcodes, sample receipts, images ------------------------------------------------

    int KESTO_PrintBarcode(Pointer handle, int type, byte[] data, int length);

    int KESTO_PrintSampleReceipt1(Pointer handle);

    int KESTO_PrintSampleReceipt2(Pointer handle);

    int KESTO_PrintSampleReceipt3(Pointer handle);

    int KESTO_PrintSampleReceipt4(Pointer handle);

    int KESTO_PrintImage(Pointer handle, String fileName);

    int KESTO_IsBMPSupported(Pointer handle, String fileName);

    // ---- Utilities, notification channel, serial probe ------------------------------------

    /** Lower-cases the NUL-terminated text in place. */
    void stringToLower(byte[] text);

    void MonitorDeviceNotification(IntByReference slot, HotPlugCallback callback);

    void DestroyDeviceNotification(IntByReference slot);

    int TryOpenPort(int number);

    // ---- Hardware detection ---------------------------------------------------------------

    Pointer KESTO_CreateHardwareDetector(HotPlugCallback callback);

    int KESTO_GetHardwareXML(Pointer detector, byte[] buffer, SizeT bufferSize);

    int KESTO_DestroyHardwareDetector(Pointer detector);

    // ---- ESC/POS formatting commands ------------------------------------------------------

    int Set_Reverse_PrintingON(Pointer handle);

    int Set_Reverse_PrintingOFF(Pointer handle);

    int SetHorizontalTab(Pointer handle);

    int LineFeed(Pointer handle);

    int PrintNReturn2StdPageMode(Pointer handle);

    int PrintNCarriageReturn(Pointer handle);

    int CancelPrintDataPageMode(Pointer handle);

    int RecoverErrorNPrint(Pointer handle);

    int RecoverErrorNCancelPrint(Pointer handle);

    int PrintInPageMode(Pointer handle);

    int SelectCharFontA(Pointer handle);

    int SelectCharFontABold(Pointer handle);

    int CancelDoubleHeight(Pointer handle);

    int SelectCharFontADoubleHeight(Pointer handle);

    int SelectCharFontADoubleWidth(Pointer handle);

    int SelectCharFontAUnderline(Pointer handle);

    int SelectCharFontB(Pointer handle);

    int SelectCharFontBBold(Pointer handle);

    int SelectCharFontBDoubleHeight(Pointer handle);

    int SelectCharFontBDoubleWidth(Pointer handle);

    int SelectCharFontBUnderline(Pointer handle);

    int TurnUnderlineONThin(Pointer handle);

    int TurnUnderlineONThick(Pointer handle);

    int TurnUnderlineOFF(Pointer handle);

    int SetDefaultLineSpacing(Pointer handle);

    int EnablePrinter(Pointer handle);

    int DisablePrinter(Pointer handle);

    int TurnBoldON(Pointer handle);

    int TurnBoldOFF(Pointer handle);

    int TurnDoubleStrikeON(Pointer handle);

    int TurnDoubleStrikeOFF(Pointer handle);

    int SelectPageMode(Pointer handle);

    int SelectStdMode(Pointer handle);

    int PageModePrintLeft2Right(Pointer handle);

    int PageModePrintBottom2Top(Pointer handle);

    int PageModePrintRight2Left(Pointer handle);

    int PageModePrintTop2Bottom(Pointer handle);

    int Turn90ClockwiseRotationON(Pointer handle);

    int Turn90ClockwiseRotationOFF(Pointer handle);

    int SetLeftAllign(Pointer handle);

    int SetCenterAllign(Pointer handle);

    int SetRightAllign(Pointer handle);

    int SelectCharSizeNormal(Pointer handle);

    int SelectCharSizeHeight2(Pointer handle);

    int SelectCharSizeHeight3(Pointer handle);

    int SelectCharSizeHeight4(Pointer handle);

    int SelectCharSizeHeight5(Pointer handle);

    int SelectCharSizeHeight6(Pointer handle);

    int SelectCharSizeHeight7(Pointer handle);

    int SelectCharSizeHeight8(Pointer handle);

    int SelectCharSizeWidth2(Pointer handle);

    int SelectCharSizeWidth3(Pointer handle);

    int SelectCharSizeWidth4(Pointer handle);

    int SelectCharSizeWidth5(Pointer handle);

    int SelectCharSizeWidth6(Pointer handle);

    int SelectCharSizeWidth7(Pointer handle);

    int SelectCharSizeWidth8(Pointer handle);

    int SelectPage(Pointer handle, int p1);

    int SetLeftMargin(Pointer handle, int p1);

    int SelectCharSize(Pointer handle, int p1);

    int SetPrintDirection(Pointer handle, int p1);

    int Set_Barcode_Width(Pointer handle, int p1);

    int Set_Print_Range(Pointer handle, int p1, int p2, int p3, int p4, int p5, int p6, int p7, int p8);

    int Set_Motion_Units(Pointer handle, int p1, int p2);

    int SetPrinting_Position(Pointer handle, int p1);

    int SetRightsideCharSpacing(Pointer handle, int p1);

    int SetAbsolutePosition(Pointer handle, int p1, int p2);

    int SetLinSpacing(Pointer handle, int p1);

    int SetHorizontalTabSpace(Pointer handle, int p1, int p2);

    int PrintNFeedPaper(Pointer handle, int p1);

    int SetStartPrintPosition(Pointer handle, int p1, int p2);

    int PrintNFeedNLines(Pointer handle, int p1);

    // ---- Text, paper cut and cash drawer --------------------------------------------------

    /**
     * {@code bool flag} is unused by the library; JNA passes a Java boolean as a 0/1 int in an
     * argument register, which the x86-64 and arm64 calling conventions read as a C bool.
     */
    int KESTO_PrintText(Pointer handle, byte[] text, int length, boolean flag);

    int PrintText(Pointer handle, String text);

    int KESTO_CutPaper(Pointer handle);

    int KESTO_FeedAndCutPaper(Pointer handle);

    int KESTO_OpenCashDrawerA(Pointer handle, int onTime, int offTime);

    int KESTO_OpenCashDrawerB(Pointer handle, int onTime, int offTime);

    // ---- Extensions: text in the shop's language ------------------------------------------

    int KESTO_PrintTextUtf8(Pointer handle, byte[] text, int length);

    int KESTO_SetCodeTables(Pointer handle, int[] tables, int count);

    // ---- Extensions: printer state and print confirmation ---------------------------------

    /** {@code void (*)(void*, int, void*)}: the printer's whole state ({@code KESTO_STATE_*} bits) at every change. */
    interface PrinterStateCallback extends Callback {
        void callback(Pointer handle, int state, Pointer userData);
    }

    /** The state bit set, or -1 (no transport, no answer within 2 s). */
    int KESTO_GetPrinterState(Pointer handle);

    /** 1; a null callback unregisters; -1 no transport. */
    int KESTO_OnPrinterState(Pointer handle, PrinterStateCallback callback, Pointer userData);

    /** 1 printed, 0 not confirmed within timeoutMs, -1 no transport. */
    int KESTO_WaitPrinted(Pointer handle, int timeoutMs);
}
