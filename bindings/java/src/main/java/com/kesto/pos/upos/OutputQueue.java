package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;

import java.util.ArrayDeque;
import java.util.Deque;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.Condition;
import java.util.concurrent.locks.ReentrantLock;

/**
 * The jobs of one printer, sent in order by one thread, each whole, each done only once the
 * printer confirmed it on paper.
 *
 * <p>A printer that stops (paper out, cover open, off-line, gone) keeps what it received and goes
 * on with it once it can. So the queue never sends a job twice: retrying a job that was sent
 * waits for its confirmation again; clearing drops the jobs not sent yet, and the sent one is
 * left to the printer (no completion is reported for it). An error is reported once per stop: a
 * retry waits until the printer recovers, stops for another reason, or the time-out passes.
 */
final class OutputQueue implements AutoCloseable {
    /** Where the queue reports; called on its thread. */
    interface Events {
        void outputComplete(int outputId);

        /** An asynchronous job cannot go on: JPOS_ER_RETRY or JPOS_ER_CLEAR. */
        int error(int errorCode, int errorCodeExtended);

        /** The last job is done and nothing waits. */
        void idle();
    }

    private static final int SLICE_MS = 500;

    private final class Entry {
        final int id;
        final Job job;
        final CompletableFuture<Void> sync; // null for an asynchronous job
        boolean sent; // written under lock: clear must see a job the moment it goes out
        boolean cleared; // dropped by clear before it went out

        Entry(int id, Job job, CompletableFuture<Void> sync) {
            this.id = id;
            this.job = job;
            this.sync = sync;
        }
    }

    private final Device device;
    private final Events events;
    private final long timeoutMs;
    private final ReentrantLock lock = new ReentrantLock();
    private final Condition changed = lock.newCondition();
    private final Deque<Entry> entries = new ArrayDeque<>(); // guarded by lock
    private final Thread worker;
    private int nextId = 1; // guarded by lock
    private boolean closed; // guarded by lock
    private boolean inError; // guarded by lock

    OutputQueue(Device device, Events events, long timeoutMs, String name) {
        this.device = device;
        this.events = events;
        this.timeoutMs = timeoutMs;
        worker = new Thread(this::run, name);
        worker.setDaemon(true);
        worker.start();
    }

    /** Queues an asynchronous job; its output id. */
    int submit(Job job) throws UposException { return add(job, null).id; }

    /** Sends the job after those queued and waits until it printed; fails with the printer's error. */
    void print(Job job) throws UposException {
        CompletableFuture<Void> done = new CompletableFuture<>();
        add(job, done);
        try {
            done.get();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new UposException(JPOS_E_FAILURE, 0, "interrupted while printing", e);
        } catch (ExecutionException e) {
            UposException failure = (UposException) e.getCause();
            throw failure;
        }
    }

    /** Drops the jobs not sent yet; a job the printer holds goes on. */
    void clear() {
        lock.lock();
        try {
            entries.removeIf(e -> !e.sent && e.sync == null);
            changed.signalAll();
        } finally {
            lock.unlock();
        }
    }

    /** JPOS_S_IDLE, JPOS_S_BUSY while jobs wait, JPOS_S_ERROR while an error is being reported. */
    int state() {
        lock.lock();
        try {
            return inError ? JPOS_S_ERROR : entries.isEmpty() ? JPOS_S_IDLE : JPOS_S_BUSY;
        } finally {
            lock.unlock();
        }
    }

    /** Wakes the sender to look at the printer's state again (it changed). */
    void stateChanged() {
        lock.lock();
        try {
            changed.signalAll();
        } finally {
            lock.unlock();
        }
    }

    /** Stops the sender; jobs not done are dropped, a waiting synchronous call fails. */
    @Override
    public void close() {
        lock.lock();
        try {
            closed = true;
            changed.signalAll();
        } finally {
            lock.unlock();
        }
        if (Thread.currentThread() != worker) {
            try {
                worker.join();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
    }

    private Entry add(Job job, CompletableFuture<Void> sync) throws UposException {
        lock.lock();
        try {
            if (closed)
                throw new UposException(JPOS_E_CLOSED, "the printer is closed");
            Entry e = new Entry(nextId++, job, sync);
            entries.addLast(e);
            changed.signalAll();
            return e;
        } finally {
            lock.unlock();
        }
    }

    private void run() {
        for (Entry e; (e = next()) != null;) {
            finish(e, deliver(e));
            if (isEmpty())
                events.idle();
        }
        lock.lock();
        try {
            UposException gone = new UposException(JPOS_E_CLOSED, "the printer was closed");
            for (Entry e : entries) {
                if (e.sync != null)
                    e.sync.completeExceptionally(gone);
            }
            entries.clear();
        } finally {
            lock.unlock();
        }
    }

    private Entry next() {
        lock.lock();
        try {
            while (!closed && entries.isEmpty()) changed.awaitUninterruptibly();
            return closed ? null : entries.peekFirst();
        } finally {
            lock.unlock();
        }
    }

    private boolean isEmpty() {
        lock.lock();
        try {
            return entries.isEmpty();
        } finally {
            lock.unlock();
        }
    }

    // Sends the entry once and waits for its confirmation: null when printed, else the error
    // that ends it (for an asynchronous job, the one answered with clear). A job is not sent to a
    // printer that stopped: it would hold it, and a caller told of the failure might send it again.
    private UposException deliver(Entry e) {
        long answered = 0; // the error last answered with retry, while the printer stays in it
        long deadline = System.nanoTime() + timeoutMs * 1_000_000;
        while (!closing()) {
            int[] error = StatusEvents.error(device.state());
            if (error == null && e.sent) {
                // Each wait asks the printer for a confirmation: only while it can print.
                int printed = device.waitPrinted(SLICE_MS);
                if (printed == 1)
                    return null;
                error = StatusEvents.error(printed < 0 ? StatusEvents.UNREACHABLE : device.state());
            }
            long key = error == null ? 0 : error[0] * 1000L + error[1];
            UposException failure = null;
            if (error != null && key != answered) {
                failure = new UposException(error[0], error[1], "the printer stopped", null);
            } else if (System.nanoTime() - deadline > 0) {
                failure = new UposException(JPOS_E_TIMEOUT, "the printer did not confirm the job in time");
            } else if (error != null) {
                awaitChange(); // nothing to do until its state changes
            } else if (!e.sent) {
                if (!claim(e))
                    return null; // cleared while it waited: nothing sent, nothing to report
                try {
                    device.send(e.job);
                    deadline = System.nanoTime() + timeoutMs * 1_000_000;
                } catch (UposException x) {
                    unclaim(e);
                    failure = x;
                }
            }
            answered = error != null ? key : 0;
            if (failure == null)
                continue;
            if (e.sync != null && e.sent) {
                return new UposException(failure.errorCode(), failure.errorCodeExtended(),
                    failure.getMessage() + "; it holds the job and prints it once it can", failure, true);
            }
            if (e.sync != null || report(failure) == JPOS_ER_CLEAR)
                return failure;
            deadline = System.nanoTime() + timeoutMs * 1_000_000;
        }
        return new UposException(JPOS_E_CLOSED, "the printer was closed");
    }

    // Marks the entry sent unless clear dropped it; under the lock, so that a clear either drops
    // it before it goes out or keeps it.
    private boolean claim(Entry e) {
        lock.lock();
        try {
            e.cleared = !entries.contains(e);
            e.sent = !e.cleared;
            return e.sent;
        } finally {
            lock.unlock();
        }
    }

    private void unclaim(Entry e) {
        lock.lock();
        try {
            e.sent = false;
        } finally {
            lock.unlock();
        }
    }

    private void awaitChange() {
        lock.lock();
        try {
            if (!closed)
                changed.await(SLICE_MS, TimeUnit.MILLISECONDS);
        } catch (InterruptedException x) {
            Thread.currentThread().interrupt();
        } finally {
            lock.unlock();
        }
    }

    private int report(UposException failure) {
        setError(true);
        try {
            return events.error(failure.errorCode(), failure.errorCodeExtended());
        } catch (RuntimeException x) {
            return JPOS_ER_CLEAR;
        } finally {
            setError(false);
        }
    }

    private void finish(Entry e, UposException failure) {
        lock.lock();
        try {
            entries.remove(e);
            if (e.cleared)
                return;
            if (failure != null && e.sync == null)
                entries.removeIf(x -> x.sync == null); // cleared: the jobs behind it go too
        } finally {
            lock.unlock();
        }
        if (e.sync != null) {
            if (failure == null)
                e.sync.complete(null);
            else
                e.sync.completeExceptionally(failure);
        } else if (failure == null) {
            events.outputComplete(e.id);
        }
    }

    private boolean closing() {
        lock.lock();
        try {
            return closed;
        } finally {
            lock.unlock();
        }
    }

    private void setError(boolean value) {
        lock.lock();
        try {
            inError = value;
        } finally {
            lock.unlock();
        }
    }
}
