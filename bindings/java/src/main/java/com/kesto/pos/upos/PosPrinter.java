package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.RejectedExecutionException;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.TimeUnit;
import java.util.function.Consumer;

/**
 * A receipt printer the UnifiedPOS way, for a JavaPOS {@code POSPrinterService} to delegate to:
 * {@code printNormal} with escape sequences and Unicode text, barcodes, bitmaps, cuts, the cash
 * drawer, transactions, status update events, and asynchronous output whose completion is
 * reported only once the printer confirmed it on paper.
 *
 * <p>One instance per printer; several may be open in one JVM. Safe to use from several threads:
 * jobs go out one at a time, each whole, and a transaction is gathered per thread, so two threads'
 * receipts never interleave.
 *
 * <p>The properties it reads (a jpos.xml entry's): {@code device} (the {@code <device>}
 * description, required), {@code codeTables} (ESC t numbers in order of preference, e.g.
 * "0,16,2"), {@code paperWidth} (dots, 576), {@code outputTimeout} (ms a job may take to print,
 * 30000), {@code powerReporting} ("advanced" or "standard"), {@code drawerOpenLevel} ("high" or
 * "low": the level of drawer pin 3 when the drawer is open) and {@code drawerPin} (2 or 5).
 */
public final class PosPrinter implements AutoCloseable {
    private static final System.Logger LOG = System.getLogger(PosPrinter.class.getName());
    private static final int FONT_A_DOTS = 12;
    private static final int FONT_B_DOTS = 9;
    private static final int BITMAPS = 20;
    private static final int POLL_MS = 500; // how soon a change of the printer's state is seen

    private final int paperWidth;
    private final int reporting;
    private final boolean drawerOpenHigh;
    private final int drawerPin;
    private final List<PosPrinterListener> listeners = new CopyOnWriteArrayList<>();
    private final ExecutorService events;
    private final ScheduledExecutorService poller;
    private final NativeDevice device;
    private final OutputQueue queue;
    private final Object submitLock = new Object();
    private final EscapeSequences parser; // guarded by submitLock
    private final Map<Thread, Transaction> transactions = new ConcurrentHashMap<>();
    private final Map<Integer, Path> bitmaps = new ConcurrentHashMap<>();
    private final Map<Integer, String> logos = new ConcurrentHashMap<>();
    private final Object stateLock = new Object();
    private int state = StatusEvents.UNREACHABLE; // guarded by stateLock
    private int lastKnown = StatusEvents.UNREACHABLE; // guarded by stateLock
    private volatile boolean asyncMode;
    private volatile boolean flagWhenIdle;
    private volatile int powerNotify = JPOS_PN_DISABLED;
    private volatile boolean fontB;
    private volatile boolean fontSent; // the font the jobs made so far leave the printer in: B or A
    private volatile int outputId;
    private volatile boolean closed;

    private final class Transaction {
        final EscapeSequences parser = new EscapeSequences(stored());
        final Job.Builder job = new Job.Builder();
    }

    private PosPrinter(Map<String, String> properties) throws UposException {
        String description = properties.get("device");
        if (description == null)
            throw new UposException(
                JPOS_E_NOEXIST, "no device property: the <device> description of the printer");
        paperWidth = number(properties, "paperWidth", 576, 8, 4096);
        int timeout = number(properties, "outputTimeout", 30_000, 1, Integer.MAX_VALUE);
        reporting = choice(properties, "powerReporting", "advanced", "standard") ? JPOS_PR_ADVANCED
                                                                                 : JPOS_PR_STANDARD;
        drawerOpenHigh = choice(properties, "drawerOpenLevel", "high", "low");
        drawerPin = choice(properties, "drawerPin", "2", "5") ? 0 : 1;
        parser = new EscapeSequences(stored());
        events = Executors.newSingleThreadExecutor(r -> daemon(r, "kesto-upos-events"));
        poller = Executors.newSingleThreadScheduledExecutor(r -> daemon(r, "kesto-upos-state"));
        NativeDevice d = null;
        try {
            d = new NativeDevice(description, this::stateChanged);
            String tables = properties.get("codeTables");
            if (tables != null)
                d.codeTables(parseList(tables));
        } catch (UposException | RuntimeException e) {
            if (d != null)
                d.close();
            events.shutdown();
            poller.shutdown();
            throw e;
        }
        device = d;
        device.poll(); // the properties are right from the start
        queue = new OutputQueue(device, new QueueEvents(), timeout, "kesto-upos-output");
        poller.scheduleWithFixedDelay(device::poll, POLL_MS, POLL_MS, TimeUnit.MILLISECONDS);
    }

    /** Opens the printer the properties describe; see the class comment for the properties. */
    public static PosPrinter open(Map<String, String> properties) throws UposException {
        return new PosPrinter(Map.copyOf(properties));
    }

    /** Opens the printer of a {@code <device>} description with the default properties. */
    public static PosPrinter open(String deviceDescription) throws UposException {
        return open(Map.of("device", deviceDescription));
    }

    /** Stops the output (jobs not sent are dropped), releases the printer. Closing again does nothing. */
    @Override
    public void close() {
        synchronized (stateLock) {
            if (closed)
                return;
            closed = true;
        }
        queue.close();
        poller.shutdownNow();
        device.close();
        events.shutdown();
        for (Path p : bitmaps.values()) deleteQuietly(p);
        bitmaps.clear();
    }

    public void addListener(PosPrinterListener listener) { listeners.add(listener); }

    public void removeListener(PosPrinterListener listener) { listeners.remove(listener); }

    // ---- properties ---------------------------------------------------------------------------

    /** JPOS_S_CLOSED, JPOS_S_IDLE, JPOS_S_BUSY (jobs waiting) or JPOS_S_ERROR (an error event is out). */
    public int state() { return closed ? JPOS_S_CLOSED : queue.state(); }

    public boolean coverOpen() { return has(StatusEvents.COVER_OPEN); }

    public boolean recEmpty() { return has(StatusEvents.PAPER_END); }

    public boolean recNearEnd() { return has(StatusEvents.PAPER_NEAR_END); }

    /** From drawer pin 3, read with the printer's state; false while the printer cannot be reached. */
    public boolean drawerOpened() {
        int s = currentState();
        return s != StatusEvents.UNREACHABLE && ((s & StatusEvents.DRAWER_PIN_HIGH) != 0) == drawerOpenHigh;
    }

    public int capPowerReporting() { return reporting; }

    /** JPOS_PS_ONLINE, JPOS_PS_OFFLINE, JPOS_PS_OFF or (standard reporting) JPOS_PS_OFF_OFFLINE. */
    public int powerState() { return StatusEvents.powerState(currentState(), reporting); }

    public int powerNotify() { return powerNotify; }

    /**
     * JPOS_PN_ENABLED adds the JPOS_SUE_POWER_* events; a printer that stops answering counts as
     * off after 2 s without an answer.
     */
    public void setPowerNotify(int value) throws UposException {
        if (value != JPOS_PN_ENABLED && value != JPOS_PN_DISABLED)
            throw new UposException(JPOS_E_ILLEGAL, "power notify " + value);
        powerNotify = value;
    }

    /** 997 (Unicode): text goes to the printer through its code tables. */
    public int characterSet() { return PTR_CS_UNICODE; }

    public boolean mapCharacterSet() { return true; }

    public int recLineWidth() { return paperWidth; }

    /** The characters a line holds in font A and in font B. */
    public String recLineCharsList() { return paperWidth / FONT_A_DOTS + "," + paperWidth / FONT_B_DOTS; }

    public int recLineChars() { return paperWidth / (fontB ? FONT_B_DOTS : FONT_A_DOTS); }

    /** Selects font A, or font B for more characters than font A fits. */
    public void setRecLineChars(int chars) throws UposException {
        if (chars < 1 || chars > paperWidth / FONT_B_DOTS)
            throw new UposException(
                JPOS_E_ILLEGAL, chars + " characters do not fit a line of " + recLineCharsList());
        fontB = chars > paperWidth / FONT_A_DOTS;
    }

    public boolean asyncMode() { return asyncMode; }

    public void setAsyncMode(boolean value) { asyncMode = value; }

    public boolean flagWhenIdle() { return flagWhenIdle; }

    /** Asks for one PTR_SUE_IDLE event once no job waits (at once if none does). */
    public void setFlagWhenIdle(boolean value) {
        flagWhenIdle = value;
        if (value && queue.state() == JPOS_S_IDLE)
            idle();
    }

    /** The output id of the last asynchronous call. */
    public int outputId() { return outputId; }

    // ---- printing -----------------------------------------------------------------------------

    /**
     * Prints text with escape sequences on the receipt station. Returns the output id in
     * asynchronous mode (and in a transaction, 0); synchronous calls return 0 once printed.
     */
    public int printNormal(int station, String data) throws UposException {
        receiptOnly(station);
        return output(job -> {
            if (fontB != fontSent) // ESC M: the font of RecLineChars
                job.bytes(0x1B, 'M', fontB ? 1 : 0);
            Job parsed = parser().parse(data);
            // A stored bitmap goes through the library's image path, which resets the printer.
            fontSent = fontB && parsed.steps().stream().noneMatch(st -> st instanceof Job.Image);
            job.append(parsed);
        });
    }

    /** Prints a barcode; see {@link UposConst} for the symbologies, alignments and text positions. */
    public int printBarCode(int station, String data, int symbology, int height, int width, int alignment,
        int textPosition) throws UposException {
        receiptOnly(station);
        Job.Builder barcode = new Job.Builder();
        BarcodeCommands.append(barcode, data, symbology, height, width, alignment, textPosition, paperWidth);
        Job commands = barcode.build();
        return output(job -> {
            parser().normal(job);
            job.append(commands);
        });
    }

    /** Prints a picture file (BMP, PNG, JPEG, GIF) width dots wide (PTR_BM_ASIS: as it is), aligned. */
    public int printBitmap(int station, String fileName, int width, int alignment) throws UposException {
        receiptOnly(station);
        Path strip = BitmapLayout.prepare(Path.of(fileName), width, alignment, paperWidth);
        return output(job -> {
            parser().normal(job);
            job.image(strip, true);
            fontSent = false; // the library's image path resets the printer
        });
    }

    /** Stores bitmap number 1 to 20 for ESC|#B; the picture is prepared now. */
    public void setBitmap(int number, int station, String fileName, int width, int alignment)
        throws UposException {
        receiptOnly(station);
        if (number < 1 || number > BITMAPS)
            throw new UposException(JPOS_E_ILLEGAL, "bitmap number " + number + " is not 1 to " + BITMAPS);
        Path old = bitmaps.put(number, BitmapLayout.prepare(Path.of(fileName), width, alignment, paperWidth));
        if (old != null)
            deleteQuietly(old);
    }

    /** Stores the data (escape sequences included) ESC|tL or ESC|bL prints. */
    public void setLogo(int location, String data) throws UposException {
        if (location != PTR_L_TOP && location != PTR_L_BOTTOM)
            throw new UposException(JPOS_E_ILLEGAL, "logo location " + location);
        logos.put(location, data);
    }

    /** Cuts the paper: 100 (PTR_CP_FULLCUT) fully, 1 to 99 partially. */
    public int cutPaper(int percentage) throws UposException {
        byte[] cut = EscapeSequences.cut(percentage, false);
        if (cut == null)
            throw new UposException(JPOS_E_ILLEGAL, "cut percentage " + percentage + " is not 1 to 100");
        return output(job -> job.bytes(cut));
    }

    /**
     * Kicks the cash drawer (a 50 ms pulse on the drawer pin) after what was printed before; returns once it
     * was kicked.
     */
    public void openDrawer() throws UposException {
        Job.Builder kick = new Job.Builder().bytes(0x1B, 'p', drawerPin, 25, 250);
        queue.print(kick.build());
        device.poll(); // drawerOpened() and waitForDrawerClose() see the drawer open from now on
    }

    /**
     * Waits until the drawer is closed; JPOS_E_TIMEOUT when it is still open after timeoutMs (JPOS_FOREVER:
     * no limit).
     */
    public void waitForDrawerClose(long timeoutMs) throws UposException {
        long deadline = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(timeoutMs);
        synchronized (stateLock) {
            while (drawerOpened()) {
                long left = TimeUnit.NANOSECONDS.toMillis(deadline - System.nanoTime());
                if (timeoutMs != JPOS_FOREVER && left <= 0)
                    throw new UposException(JPOS_E_TIMEOUT, "the drawer is still open");
                try {
                    stateLock.wait(timeoutMs == JPOS_FOREVER ? 0 : left);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    throw new UposException(JPOS_E_FAILURE, 0, "interrupted", e);
                }
            }
        }
    }

    /**
     * PTR_TP_TRANSACTION gathers what this thread prints from now on; PTR_TP_NORMAL sends it as
     * one job (one output id in asynchronous mode).
     */
    public int transactionPrint(int station, int control) throws UposException {
        receiptOnly(station);
        Thread me = Thread.currentThread();
        if (control == PTR_TP_TRANSACTION) {
            if (transactions.putIfAbsent(me, new Transaction()) != null)
                throw new UposException(JPOS_E_ILLEGAL, "a transaction is already open");
            return 0;
        }
        if (control != PTR_TP_NORMAL)
            throw new UposException(JPOS_E_ILLEGAL, "transaction control " + control);
        Transaction t = transactions.remove(me);
        if (t == null)
            throw new UposException(JPOS_E_ILLEGAL, "no transaction is open");
        t.parser.normal(t.job); // the next job finds the printer as the transaction found it
        Job gathered = t.job.build();
        return output(job -> {
            parser.normal(job);
            job.append(gathered);
        });
    }

    /** Drops the asynchronous jobs not sent yet; what the printer already holds still prints. */
    public void clearOutput() { queue.clear(); }

    // ---- internals ----------------------------------------------------------------------------

    @FunctionalInterface
    private interface Fill {
        void into(Job.Builder job) throws UposException;
    }

    // The parser of the calling thread's transaction, else the printer's.
    private EscapeSequences parser() {
        Transaction t = transactions.get(Thread.currentThread());
        return t != null ? t.parser : parser;
    }

    private int output(Fill fill) throws UposException {
        if (closed)
            throw new UposException(JPOS_E_CLOSED, "the printer is closed");
        Transaction t = transactions.get(Thread.currentThread());
        if (t != null) {
            fill.into(t.job);
            return 0;
        }
        Job job;
        int id = 0;
        // Built and queued under one lock: the parser's line state follows the queue's order.
        synchronized (submitLock) {
            Job.Builder b = new Job.Builder();
            fill.into(b);
            job = b.build();
            if (asyncMode)
                id = queue.submit(job);
        }
        if (asyncMode) {
            outputId = id;
            return id;
        }
        queue.print(job);
        return 0;
    }

    private EscapeSequences.Stored stored() {
        return new EscapeSequences.Stored() {
            @Override
            public String logo(int location) {
                return logos.get(location);
            }

            @Override
            public Path bitmap(int number) {
                return bitmaps.get(number);
            }
        };
    }

    private final class QueueEvents implements OutputQueue.Events {
        @Override
        public void outputComplete(int id) {
            dispatch(l -> l.outputComplete(id));
        }

        @Override
        public int error(int errorCode, int errorCodeExtended) {
            PosPrinterListener.ErrorEvent event =
                new PosPrinterListener.ErrorEvent(errorCode, errorCodeExtended);
            for (PosPrinterListener l : listeners) {
                try {
                    l.error(event);
                } catch (RuntimeException e) {
                    LOG.log(System.Logger.Level.WARNING, "error listener failed", e);
                }
            }
            return event.errorResponse();
        }

        @Override
        public void idle() {
            PosPrinter.this.idle();
        }
    }

    private void idle() {
        if (!flagWhenIdle)
            return;
        flagWhenIdle = false;
        dispatch(l -> l.statusUpdate(PTR_SUE_IDLE));
    }

    // Called by the device, one change at a time.
    private void stateChanged(int now) {
        List<Integer> changes;
        synchronized (stateLock) {
            changes = StatusEvents.changes(state, now, lastKnown, powerNotify == JPOS_PN_ENABLED, reporting);
            state = now;
            if (now != StatusEvents.UNREACHABLE)
                lastKnown = now;
            stateLock.notifyAll();
        }
        for (int status : changes) dispatch(l -> l.statusUpdate(status));
        OutputQueue q = queue;
        if (q != null)
            q.stateChanged();
    }

    private void dispatch(Consumer<PosPrinterListener> call) {
        try {
            events.execute(() -> {
                for (PosPrinterListener l : listeners) {
                    try {
                        call.accept(l);
                    } catch (RuntimeException e) {
                        LOG.log(System.Logger.Level.WARNING, "listener failed", e);
                    }
                }
            });
        } catch (RejectedExecutionException e) {
            // closed meanwhile: no event after close
        }
    }

    private int currentState() {
        synchronized (stateLock) {
            return state;
        }
    }

    private boolean has(int bit) {
        int s = currentState();
        return s != StatusEvents.UNREACHABLE && (s & bit) != 0;
    }

    private static void receiptOnly(int station) throws UposException {
        if (station != PTR_S_RECEIPT)
            throw new UposException(
                JPOS_E_ILLEGAL, "station " + station + ": this printer has the receipt station only");
    }

    private static Thread daemon(Runnable r, String name) {
        Thread t = new Thread(r, name);
        t.setDaemon(true);
        return t;
    }

    private static int number(Map<String, String> p, String key, int fallback, int low, int high)
        throws UposException {
        String v = p.get(key);
        try {
            int n = v == null ? fallback : Integer.parseInt(v.trim());
            if (n >= low && n <= high)
                return n;
        } catch (NumberFormatException e) {
            // reported below
        }
        throw new UposException(
            JPOS_E_ILLEGAL, "property " + key + " = " + v + " is not a number from " + low + " to " + high);
    }

    // True for the first (default) value, false for the second.
    private static boolean choice(Map<String, String> p, String key, String first, String second)
        throws UposException {
        String v = p.getOrDefault(key, first).trim();
        if (!v.equals(first) && !v.equals(second))
            throw new UposException(
                JPOS_E_ILLEGAL, "property " + key + " = " + v + " is neither " + first + " nor " + second);
        return v.equals(first);
    }

    static int[] parseList(String text) throws UposException {
        try {
            return Arrays.stream(text.split(",")).map(String::trim).mapToInt(Integer::parseInt).toArray();
        } catch (NumberFormatException e) {
            throw new UposException(JPOS_E_ILLEGAL, "codeTables = " + text + " is not a list of numbers");
        }
    }

    private static void deleteQuietly(Path p) {
        try {
            Files.deleteIfExists(p);
        } catch (IOException e) {
            // a temporary file left behind harms nothing
        }
    }
}
