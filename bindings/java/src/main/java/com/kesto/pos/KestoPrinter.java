package com.kesto.pos;

import com.sun.jna.CallbackThreadInitializer;
import com.sun.jna.Native;
import com.sun.jna.Pointer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Objects;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.locks.ReentrantLock;
import java.util.concurrent.locks.ReentrantReadWriteLock;

/**
 * One open printer: a device handle of the library, connected on opening.
 *
 * <p>Safe to use from several threads. Print calls on one printer go out one at a time, each
 * whole: a text call is several writes, and another call's initialise command landing between
 * them would make the printer discard a line it has not printed yet.
 *
 * <p>The library runs one status thread per process: starting the monitor of a second printer
 * stops the first one's.
 *
 * <p>A printer that cannot be reached when it is opened (a service starting before its printer)
 * is opened all the same: the next call that needs it reopens it once and fails with the reason
 * if it is still out of reach. Nothing was sent on such a handle, so nothing can print twice.
 */
public final class KestoPrinter implements AutoCloseable {
    /** The result of {@code KESTO_GetLastError} when there is no handle to ask. */
    public static final int NO_DEVICE = -1;

    /** Multibyte fonts that may stand in a list of {@link #setCodeTables} beside the ESC t numbers. */
    public static final int CODES_GB18030 = 256;
    public static final int CODES_SHIFT_JIS = 257;
    public static final int CODES_BIG5 = 258;
    public static final int CODES_KSC5601 = 259;

    private static final System.Logger LOG = System.getLogger(KestoPrinter.class.getName());

    // Native code may call a registered callback for as long as its handle lives, even if the
    // caller drops the printer without closing it: the GC must not collect the callback first.
    private static final Set<Object> LIVE_CALLBACKS = ConcurrentHashMap.newKeySet();

    // Serialises starting and stopping the process's one status thread.
    private static final Object STATUS_THREAD_LOCK = new Object();
    private static KestoPrinter statusThreadOwner; // guarded by STATUS_THREAD_LOCK

    private final KestoLibrary lib = KestoLibrary.INSTANCE;
    private final String description;
    private int[] codeTables = new int[0]; // guarded by lifecycle
    private final ReentrantReadWriteLock lifecycle = new ReentrantReadWriteLock();
    private final ReentrantLock output = new ReentrantLock(true);
    private final AtomicBoolean closed = new AtomicBoolean();
    private final KestoLibrary.StatusCallback statusCallback = this::dispatchStatus;
    private volatile StatusListener listener;
    private Pointer handle; // guarded by lifecycle
    private volatile boolean everConnected; // written under the lifecycle write lock

    private KestoPrinter(String description, Pointer handle) {
        this.description = description;
        this.handle = handle;
        Native.setCallbackThreadInitializer(
            statusCallback, new CallbackThreadInitializer(true, false, "kesto-status"));
    }

    /**
     * Opens the printer a {@code <device>} description names (from {@link KestoDetector} or
     * written by hand) and connects to it. A printer that cannot be reached yet is opened all the
     * same ({@link #connected()} is false); its next call tries again.
     */
    public static KestoPrinter open(String deviceDescription) throws KestoException {
        Objects.requireNonNull(deviceDescription, "deviceDescription");
        KestoPrinter printer = new KestoPrinter(deviceDescription, createHandle(deviceDescription));
        LIVE_CALLBACKS.add(printer.statusCallback);
        printer.everConnected = printer.registerCallback();
        if (!printer.everConnected) {
            LOG.log(System.Logger.Level.INFO, "printer not reachable yet (error {0}); the next call tries again",
                KestoLibrary.INSTANCE.KESTO_GetLastError(printer.handle));
        }
        return printer;
    }

    /** Opens a network printer. */
    public static KestoPrinter tcp(String host, int port) throws KestoException {
        Objects.requireNonNull(host, "host");
        if (port < 1 || port > 65535)
            throw new IllegalArgumentException("port out of range: " + port);
        return open("<device><type>ETH</type><path>" + xmlEscape(host + ":" + port) + "</path></device>");
    }

    /** Opens the USB printer of a model, e.g. "VANTO500". */
    public static KestoPrinter usb(String model) throws KestoException {
        Objects.requireNonNull(model, "model");
        return open("<device><type>USB</type><path></path><modal>" + xmlEscape(model) + "</modal></device>");
    }

    /** The library's version text, e.g. "0.6.0.2". */
    public static String libraryVersion() {
        byte[] buffer = new byte[32];
        KestoLibrary.INSTANCE.KESTO_GetVersionString(buffer, buffer.length);
        return Native.toString(buffer, StandardCharsets.US_ASCII.name());
    }

    /** The description this printer was opened from. */
    public String description() { return description; }

    /** Whether the printer was reached since it was (re)opened. */
    public boolean connected() { return everConnected; }

    /**
     * Releases the device handle and makes a new one from the same description, keeping the
     * status listener and, if this printer runs the status thread, the status thread.
     *
     * @throws KestoException when the printer cannot be reached; the next call tries again
     */
    public void reopen() throws KestoException {
        reopen(false);
    }

    /**
     * Prints one line of text in any language the printer's code tables (see
     * {@link #setCodeTables}) can show, and feeds the line. The formatting set before stays in
     * force; a character no table holds prints as '?'.
     */
    public void printText(String text) throws KestoException {
        Objects.requireNonNull(text, "text");
        byte[] bytes = (text + "\n").getBytes(StandardCharsets.UTF_8);
        print("print text", h -> lib.KESTO_PrintTextUtf8(h, bytes, bytes.length), -1);
    }

    /**
     * Names the code tables this printer holds, in its order of preference: ESC t numbers (0 PC437,
     * 16 WPC1252, 17 PC866, 19 PC858 ...) and the multibyte fonts {@link #CODES_GB18030},
     * {@link #CODES_SHIFT_JIS}, {@link #CODES_BIG5}, {@link #CODES_KSC5601}. No tables: the
     * library's default list. Kept across {@link #reopen()}.
     *
     * @throws IllegalArgumentException for a number the library does not know
     */
    public void setCodeTables(int... tables) throws KestoException {
        int[] list = tables.clone();
        lifecycle.writeLock().lock();
        try {
            if (lib.KESTO_SetCodeTables(openHandle(), list, list.length) != 1)
                throw new IllegalArgumentException("unknown code table in " + Arrays.toString(list));
            codeTables = list;
        } finally {
            lifecycle.writeLock().unlock();
        }
    }

    /** Prints one of the library's four demonstration receipts. */
    public void printReceipt(int number) throws KestoException {
        Call call;
        switch (number) {
            case 1:
                call = lib::KESTO_PrintSampleReceipt1;
                break;
            case 2:
                call = lib::KESTO_PrintSampleReceipt2;
                break;
            case 3:
                call = lib::KESTO_PrintSampleReceipt3;
                break;
            case 4:
                call = lib::KESTO_PrintSampleReceipt4;
                break;
            default:
                throw new IllegalArgumentException("no sample receipt " + number);
        }
        print("print sample receipt " + number, call, -1);
    }

    /** Prints a barcode or two-dimensional code; the data is sent as UTF-8. */
    public void printBarcode(BarcodeType type, String data) throws KestoException {
        Objects.requireNonNull(type, "type");
        byte[] bytes = data.getBytes(StandardCharsets.UTF_8);
        print("print " + type, h -> lib.KESTO_PrintBarcode(h, type.code(), bytes, bytes.length), -1);
    }

    /** Prints an image file, converted to a 1-bit raster by the library's conversion script. */
    public void printImage(Path path) throws KestoException {
        String name = path.toString();
        print("print image " + name, h -> lib.KESTO_PrintImage(h, name), -1);
    }

    /** Initialises the printer and cuts the paper partially. */
    public void cut() throws KestoException { print("cut", lib::KESTO_CutPaper, -1); }

    /** Feeds to the cutting position and cuts partially. */
    public void feedAndCut() throws KestoException { print("feed and cut", lib::KESTO_FeedAndCutPaper, -1); }

    /** Kicks a cash drawer: the pulse is on for onTime and off for offTime, in units of 2 ms (0-255). */
    public void openDrawer(Drawer drawer, int onTime, int offTime) throws KestoException {
        Objects.requireNonNull(drawer, "drawer");
        if (onTime < 0 || onTime > 255 || offTime < 0 || offTime > 255) {
            throw new IllegalArgumentException("pulse times are 0-255 units of 2 ms");
        }
        Call call = drawer == Drawer.A ? h
            -> lib.KESTO_OpenCashDrawerA(h, onTime, offTime)
            : h -> lib.KESTO_OpenCashDrawerB(h, onTime, offTime);
        print("open drawer " + drawer, call, -1);
    }

    /** Sends the bytes as they are. */
    public void writeRaw(byte[] bytes) throws KestoException {
        byte[] copy = bytes.clone();
        print("write", h -> lib.KESTO_WriteData(h, copy, copy.length), copy.length);
    }

    /** Asks the printer for its status once; the listener, if any, hears of it too. */
    public PrinterStatus status() throws KestoException {
        int code = call("read status", lib::KESTO_GetPrinterStatus, -1);
        PrinterStatus status = PrinterStatus.fromCode(code);
        return status != null ? status : PrinterStatus.NOTHING;
    }

    /**
     * Starts the process's status thread on this printer (stopping one that runs for another)
     * and delivers every status change to the listener. Takes about a second.
     */
    public void startStatusMonitor(StatusListener statusListener) throws KestoException {
        Objects.requireNonNull(statusListener, "statusListener");
        reopen(true);
        lifecycle.readLock().lock();
        try {
            Pointer h = openHandle();
            synchronized (STATUS_THREAD_LOCK) {
                listener = statusListener;
                if (lib.KESTO_CreateStatusThread(h) < 0) {
                    listener = null;
                    throw new KestoException("cannot start the status thread", lib.KESTO_GetLastError(h));
                }
                if (statusThreadOwner != null && statusThreadOwner != this)
                    statusThreadOwner.listener = null;
                statusThreadOwner = this;
            }
        } finally {
            lifecycle.readLock().unlock();
        }
    }

    /** Stops the status thread if this printer started it; no listener call follows. */
    public void stopStatusMonitor() {
        synchronized (STATUS_THREAD_LOCK) {
            if (statusThreadOwner == this) {
                lib.KESTO_DestroyStatusThread(null);
                statusThreadOwner = null;
            }
            listener = null;
        }
    }

    /** Stops this printer's status thread and releases the device. Closing again does nothing. */
    @Override
    public void close() {
        if (!closed.compareAndSet(false, true))
            return;
        // Before taking the lock: a listener running on the status thread may still be inside a
        // call of this printer, and the stop waits for it.
        stopStatusMonitor();
        lifecycle.writeLock().lock();
        try {
            lib.KESTO_DestroyDevicePointer(handle);
            handle = null;
        } finally {
            lifecycle.writeLock().unlock();
        }
        synchronized (STATUS_THREAD_LOCK) {
            // A monitor started while this close waited for the lock ended with the handle.
            if (statusThreadOwner == this)
                statusThreadOwner = null;
            listener = null;
        }
        LIVE_CALLBACKS.remove(statusCallback);
    }

    // ---- internals ----------------------------------------------------------------------------

    @FunctionalInterface
    private interface Call {
        int run(Pointer handle);
    }

    private void print(String what, Call call, int expected) throws KestoException {
        output.lock();
        try {
            call(what, call, expected);
        } finally {
            output.unlock();
        }
    }

    // Fails on a negative result, and on a short write where the full count is known.
    private int call(String what, Call call, int expected) throws KestoException {
        reopen(true);
        lifecycle.readLock().lock();
        try {
            Pointer h = openHandle();
            int result = call.run(h);
            if (result < 0)
                throw new KestoException("cannot " + what, lib.KESTO_GetLastError(h));
            if (expected >= 0 && result != expected) {
                throw new KestoException(
                    "cannot " + what + ": " + result + " of " + expected + " bytes written",
                    lib.KESTO_GetLastError(h));
            }
            return result;
        } finally {
            lifecycle.readLock().unlock();
        }
    }

    private static Pointer createHandle(String description) throws KestoException {
        byte[] text = description.getBytes(StandardCharsets.UTF_8);
        // Counted and NUL-terminated: the library logs it as a C string.
        Pointer h = KestoLibrary.INSTANCE.KESTO_CreateDevicePointer(Arrays.copyOf(text, text.length + 1), text.length);
        if (h == null)
            throw new KestoException("unsupported device description", NO_DEVICE);
        return h;
    }

    // Registering the status callback connects: false when the printer cannot be reached.
    private boolean registerCallback() {
        return lib.KESTO_OnPrinterError(handle, statusCallback) >= 0;
    }

    // Makes a new handle from the description (only when the printer was never reached, if
    // neverConnectedOnly), with the status listener and the status thread carried over.
    private void reopen(boolean neverConnectedOnly) throws KestoException {
        if (neverConnectedOnly && everConnected)
            return;
        StatusListener monitored;
        synchronized (STATUS_THREAD_LOCK) {
            monitored = statusThreadOwner == this ? listener : null;
        }
        lifecycle.writeLock().lock();
        try {
            openHandle();
            if (neverConnectedOnly && everConnected)
                return; // another thread reopened it meanwhile
            // Destroying the handle stops a status thread polling through it.
            lib.KESTO_DestroyDevicePointer(handle);
            handle = null;
            handle = createHandle(description);
            lib.KESTO_SetCodeTables(handle, codeTables, codeTables.length);
            everConnected = registerCallback();
            if (!everConnected)
                throw new KestoException("cannot connect to the printer", lib.KESTO_GetLastError(handle));
        } finally {
            lifecycle.writeLock().unlock();
        }
        if (monitored != null)
            startStatusMonitor(monitored);
    }

    private Pointer openHandle() {
        if (closed.get() || handle == null)
            throw new IllegalStateException("printer is closed");
        return handle;
    }

    private int dispatchStatus(int code) {
        PrinterStatus status = PrinterStatus.fromCode(code);
        StatusListener l = listener;
        // 0 is a poll that found nothing new: no event.
        if (l == null || status == null || status == PrinterStatus.NOTHING)
            return 0;
        try {
            l.statusChanged(status);
        } catch (RuntimeException e) {
            LOG.log(System.Logger.Level.WARNING, "status listener failed", e);
        }
        return 0;
    }

    static String xmlEscape(String text) {
        return text.replace("&", "&amp;")
            .replace("<", "&lt;")
            .replace(">", "&gt;")
            .replace("'", "&apos;")
            .replace("\"", "&quot;");
    }

    static String xmlUnescape(String text) {
        return text.replace("&lt;", "<")
            .replace("&gt;", ">")
            .replace("&apos;", "'")
            .replace("&quot;", "\"")
            .replace("&amp;", "&");
    }
}
