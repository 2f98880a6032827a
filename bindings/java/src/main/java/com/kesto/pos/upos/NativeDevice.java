package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;

import com.kesto.pos.KestoLibrary;
import com.sun.jna.Pointer;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.function.IntConsumer;

/**
 * A device handle of the library and the calls a job is made of. Its state is read with the
 * printer's real-time status replies by {@link #poll()}: automatic status alone would miss a
 * printer that lost power (it falls silent, and comes back with automatic status off).
 */
final class NativeDevice implements Device, AutoCloseable {
    private final KestoLibrary lib = KestoLibrary.INSTANCE;
    private final String description;
    private final Object handleLock = new Object();
    private final Object stateLock = new Object();
    private final IntConsumer onState;
    private Pointer handle; // guarded by handleLock
    private static final long RETRY_NS = 5_000_000_000L;

    private boolean reached; // guarded by handleLock: the handle's printer answered once
    private long retryAt = System.nanoTime() + RETRY_NS; // guarded by handleLock
    private volatile int state = StatusEvents.UNREACHABLE;

    /** Makes the handle; the printer is reached by the first poll (and tried again while it is not). */
    NativeDevice(String description, IntConsumer onState) throws UposException {
        this.description = description;
        this.onState = onState;
        handle = create(description);
        if (handle == null)
            throw new UposException(JPOS_E_NOEXIST, "unsupported device description: " + description);
    }

    /** The printer's code tables, ESC t numbers in order of preference. */
    void codeTables(int[] tables) throws UposException {
        synchronized (handleLock) {
            if (lib.KESTO_SetCodeTables(handle, tables, tables.length) < 0)
                throw new UposException(
                    JPOS_E_ILLEGAL, "code tables " + Arrays.toString(tables) + " refused");
        }
    }

    @Override
    public void send(Job job) throws UposException {
        synchronized (handleLock) {
            Pointer h = open();
            for (Job.Step step : job.steps()) {
                if (step instanceof Job.Raw r) {
                    check(lib.KESTO_WriteData(h, r.bytes(), r.bytes().length) == r.bytes().length, "write");
                } else if (step instanceof Job.Text t) {
                    byte[] utf8 = t.text().getBytes(StandardCharsets.UTF_8);
                    check(lib.KESTO_PrintTextUtf8(h, utf8, utf8.length) >= 0, "print text");
                } else if (step instanceof Job.Image i) {
                    try {
                        check(lib.KESTO_PrintImage(h, i.file().toString()) >= 0, "print picture");
                    } finally {
                        if (i.temporary())
                            deleteQuietly(i);
                    }
                }
            }
        }
    }

    @Override
    public int waitPrinted(int timeoutMs) {
        Pointer h;
        synchronized (handleLock) {
            h = handle;
        }
        return h == null ? -1 : lib.KESTO_WaitPrinted(h, timeoutMs);
    }

    @Override
    public int state() {
        return state;
    }

    /** Reads the printer's state now (up to 2 s when it does not answer) and reports a change. */
    void poll() {
        int now;
        synchronized (handleLock) {
            if (handle == null)
                return;
            now = lib.KESTO_GetPrinterState(handle);
            if (now >= 0) {
                reached = true;
            } else if (!reached && System.nanoTime() - retryAt > 0) {
                // A handle whose first connection failed never connects: a new one tries again,
                // now and then, since each new handle empties the library's debug log.
                lib.KESTO_DestroyDevicePointer(handle);
                handle = create(description);
                retryAt = System.nanoTime() + RETRY_NS;
            }
        }
        stateChanged(now);
    }

    @Override
    public void close() {
        synchronized (handleLock) {
            if (handle == null)
                return;
            lib.KESTO_DestroyDevicePointer(handle);
            handle = null;
        }
    }

    private Pointer create(String text) {
        byte[] bytes = text.getBytes(StandardCharsets.UTF_8);
        // Counted and NUL-terminated: the library logs it as a C string.
        return lib.KESTO_CreateDevicePointer(Arrays.copyOf(bytes, bytes.length + 1), bytes.length);
    }

    private Pointer open() throws UposException {
        if (handle == null)
            throw new UposException(JPOS_E_CLOSED, "the printer is closed");
        return handle;
    }

    private void check(boolean ok, String what) throws UposException {
        if (!ok) {
            throw new UposException(JPOS_E_FAILURE, 0,
                "cannot " + what + " (error " + lib.KESTO_GetLastError(handle) + ")", null);
        }
    }

    // The poller and a caller may both poll: each change is told once, in order.
    private void stateChanged(int now) {
        synchronized (stateLock) {
            if (now == state)
                return;
            state = now;
            onState.accept(now);
        }
    }

    private static void deleteQuietly(Job.Image image) {
        try {
            Files.deleteIfExists(image.file());
        } catch (IOException e) {
            // a temporary file left behind harms nothing
        }
    }
}
