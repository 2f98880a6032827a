package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;

import com.kesto.pos.KestoLibrary;
import com.sun.jna.CallbackThreadInitializer;
import com.sun.jna.Native;
import com.sun.jna.Pointer;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.function.IntConsumer;

/** A device handle of the library, its state callback and the calls a job is made of. */
final class NativeDevice implements Device, AutoCloseable {
    private final KestoLibrary lib = KestoLibrary.INSTANCE;
    private final Object handleLock = new Object();
    private final Object stateLock = new Object();
    private final IntConsumer onState;
    private final KestoLibrary.PrinterStateCallback callback = (h, state, user) -> stateChanged(state);
    private Pointer handle; // guarded by handleLock
    private boolean registered; // guarded by handleLock
    private volatile int state = StatusEvents.UNREACHABLE;

    /** Makes the handle and registers for its state; a printer out of reach is tried again on use. */
    NativeDevice(String description, IntConsumer onState) throws UposException {
        this.onState = onState;
        byte[] text = description.getBytes(StandardCharsets.UTF_8);
        handle = lib.KESTO_CreateDevicePointer(Arrays.copyOf(text, text.length + 1), text.length);
        if (handle == null)
            throw new UposException(JPOS_E_NOEXIST, "unsupported device description: " + description);
        Native.setCallbackThreadInitializer(callback, new CallbackThreadInitializer(true, false, "kesto-state"));
        state();
    }

    /** The printer's code tables, ESC t numbers in order of preference. */
    void codeTables(int[] tables) throws UposException {
        synchronized (handleLock) {
            if (lib.KESTO_SetCodeTables(handle, tables, tables.length) < 0)
                throw new UposException(JPOS_E_ILLEGAL, "code tables " + Arrays.toString(tables) + " refused");
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
        synchronized (handleLock) {
            if (handle == null)
                return StatusEvents.UNREACHABLE;
            if (!registered) {
                // Registering connects; from then on the printer sends its state by itself.
                registered = lib.KESTO_OnPrinterState(handle, callback, null) > 0;
                if (registered)
                    stateChanged(lib.KESTO_GetPrinterState(handle));
            } else {
                int now = lib.KESTO_GetPrinterState(handle);
                if (now != state)
                    stateChanged(now);
            }
            return state;
        }
    }

    @Override
    public void close() {
        synchronized (handleLock) {
            if (handle == null)
                return;
            lib.KESTO_OnPrinterState(handle, null, null); // no callback once this returns
            lib.KESTO_DestroyDevicePointer(handle);
            handle = null;
        }
    }

    private Pointer open() throws UposException {
        if (handle == null)
            throw new UposException(JPOS_E_CLOSED, "the printer is closed");
        return handle;
    }

    private void check(boolean ok, String what) throws UposException {
        if (!ok) {
            throw new UposException(
                JPOS_E_FAILURE, 0, "cannot " + what + " (error " + lib.KESTO_GetLastError(handle) + ")", null);
        }
    }

    // The callback thread and a caller may both see a change: each is told once, in order.
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
