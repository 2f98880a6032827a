package com.kesto.pos;

import com.sun.jna.CallbackThreadInitializer;
import com.sun.jna.Native;
import com.sun.jna.Pointer;
import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.locks.ReentrantReadWriteLock;

/**
 * Finds attached printers and hears of printers plugged in or pulled out.
 *
 * <p>The library listens for hot-plug notices on the first free loopback endpoint of its
 * notification channel (127.0.0.1:9930 unless another detector holds it).
 */
public final class KestoDetector implements AutoCloseable {
    private static final System.Logger LOG = System.getLogger(KestoDetector.class.getName());

    // The detector's thread may call the callback until destroy returns, even when the caller
    // dropped the detector without closing it.
    private static final Set<Object> LIVE_CALLBACKS = ConcurrentHashMap.newKeySet();

    // A printer may come between the size query and the copy; ask again this many times.
    private static final int LIST_ATTEMPTS = 3;

    private final KestoLibrary lib = KestoLibrary.INSTANCE;
    private final ReentrantReadWriteLock lifecycle = new ReentrantReadWriteLock();
    private final AtomicBoolean closed = new AtomicBoolean();
    private final KestoLibrary.HotPlugCallback callback = this::dispatch;
    private final HotPlugListener listener;
    private Pointer detector; // guarded by lifecycle

    private KestoDetector(HotPlugListener listener) {
        this.listener = listener;
        Native.setCallbackThreadInitializer(
            callback, new CallbackThreadInitializer(true, false, "kesto-hotplug"));
    }

    /** A detector without hot-plug notices. */
    public static KestoDetector open() throws KestoException { return open(null); }

    /** A detector that tells the listener (may be null) of every hot-plug notice. */
    public static KestoDetector open(HotPlugListener listener) throws KestoException {
        KestoDetector d = new KestoDetector(listener);
        LIVE_CALLBACKS.add(d.callback);
        d.detector = d.lib.KESTO_CreateHardwareDetector(d.callback);
        if (d.detector == null) {
            LIVE_CALLBACKS.remove(d.callback);
            throw new KestoException("cannot create the hardware detector", KestoPrinter.NO_DEVICE);
        }
        return d;
    }

    /** Enumerates afresh and returns the printers attached now. */
    public List<DetectedPrinter> printers() throws KestoException {
        lifecycle.readLock().lock();
        try {
            if (closed.get())
                throw new IllegalStateException("detector is closed");
            for (int attempt = 0; attempt < LIST_ATTEMPTS; ++attempt) {
                int size = lib.KESTO_GetHardwareXML(detector, null, new KestoLibrary.SizeT(0));
                if (size <= 0)
                    break;
                byte[] buffer = new byte[size];
                int copied =
                    lib.KESTO_GetHardwareXML(detector, buffer, new KestoLibrary.SizeT(buffer.length));
                if (copied > 0) {
                    return DetectedPrinter.parseList(
                        new String(buffer, 0, copied - 1, StandardCharsets.UTF_8));
                }
            }
            throw new KestoException("cannot read the printer list", KestoPrinter.NO_DEVICE);
        } finally {
            lifecycle.readLock().unlock();
        }
    }

    /** Stops the notices (none is delivered once this returns) and frees the detector. */
    @Override
    public void close() {
        if (!closed.compareAndSet(false, true))
            return;
        lifecycle.writeLock().lock();
        try {
            lib.KESTO_DestroyHardwareDetector(detector);
            detector = null;
        } finally {
            lifecycle.writeLock().unlock();
        }
        LIVE_CALLBACKS.remove(callback);
    }

    private void dispatch(Pointer unused) {
        if (listener == null || closed.get())
            return;
        try {
            listener.hardwareChanged();
        } catch (RuntimeException e) {
            LOG.log(System.Logger.Level.WARNING, "hot-plug listener failed", e);
        }
    }
}
