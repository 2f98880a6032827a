package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;
import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.Semaphore;
import java.util.concurrent.TimeUnit;
import java.util.function.IntSupplier;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

@Timeout(30)
class OutputQueueTest {
    static final int EMPTY = StatusEvents.PAPER_END | StatusEvents.PAPER_NEAR_END | StatusEvents.OFFLINE;

    /** A printer that confirms a job when the test hands it a confirmation. */
    final class FakeDevice implements Device {
        final BlockingQueue<String> sent = new LinkedBlockingQueue<>();
        final Semaphore confirmations = new Semaphore(0);
        final Semaphore waits = new Semaphore(0); // the sender waits for a confirmation of what it sent
        volatile int state;

        public void send(Job job) { sent.add(UposCommandsTest.render(job)); }

        public int waitPrinted(int timeoutMs) {
            waits.release();
            try {
                return confirmations.tryAcquire(timeoutMs, TimeUnit.MILLISECONDS) ? 1 : 0;
            } catch (InterruptedException e) {
                return -1;
            }
        }

        public int state() { return state; }
    }

    final FakeDevice device = new FakeDevice();
    final BlockingQueue<String> heard = new LinkedBlockingQueue<>();
    volatile IntSupplier answer = () -> JPOS_ER_RETRY;
    final OutputQueue queue = new OutputQueue(device, new OutputQueue.Events() {
        public void outputComplete(int id) {
            heard.add("complete " + id);
        }

        public int error(int code, int extended) {
            heard.add("error " + code + " " + extended);
            return answer.getAsInt();
        }

        public void idle() {
            heard.add("idle");
        }
    }, 60_000, "test-output");

    @AfterEach
    void close() {
        queue.close();
    }

    static Job text(String t) { return new Job.Builder().text(t).build(); }

    @Test
    void jobsGoOutInOrderCompleteOnlyOnceConfirmedAndARetryAfterAStopNeverSendsTheHeldJobAgain()
        throws Exception {
        assertEquals(1, queue.submit(text("a")));
        assertEquals(2, queue.submit(text("b")));
        assertEquals("[a]", device.sent.take());
        device.state = EMPTY; // the roll runs out while the printer holds the job
        assertEquals("error " + JPOS_E_EXTENDED + " " + JPOS_EPTR_REC_EMPTY, heard.take());
        assertTrue(heard.isEmpty() && device.sent.isEmpty(), "nothing done or sent before the confirmation");
        device.state = 0; // refilled after the retry: the printer goes on with what it holds
        device.confirmations.release();
        assertEquals("complete 1", heard.take());
        assertEquals("[b]", device.sent.take()); // not a again
        device.confirmations.release();
        assertEquals("complete 2", heard.take());
        assertEquals("idle", heard.take());
    }

    @Test
    void clearDropsTheJobsNotSentAndLeavesTheHeldOneToThePrinter() throws Exception {
        answer = () -> JPOS_ER_CLEAR;
        queue.submit(text("one"));
        assertEquals("[one]", device.sent.take());
        queue.submit(text("two"));
        queue.submit(text("three"));
        device.state = StatusEvents.COVER_OPEN | StatusEvents.OFFLINE;
        assertEquals("error " + JPOS_E_EXTENDED + " " + JPOS_EPTR_COVER_OPEN, heard.take());
        assertEquals("idle", heard.take());
        device.state = 0;
        assertEquals(4, queue.submit(text("four")));
        assertEquals("[four]", device.sent.take()); // two and three were never sent
        device.waits.drainPermits(); // from the waits for one
        queue.submit(text("five"));
        device.waits.acquire(); // four is sent and awaited
        queue.clear(); // the service clears: five goes, four is the printer's
        assertEquals(JPOS_S_BUSY, queue.state());
        device.confirmations.release();
        assertEquals("complete 4", heard.take());
        assertEquals("idle", heard.take());
        assertNull(device.sent.poll());
        answer = () -> JPOS_ER_RETRY; // six waits for the paper, unsent, when the service clears
        device.state = EMPTY;
        queue.submit(text("six"));
        assertEquals("error " + JPOS_E_EXTENDED + " " + JPOS_EPTR_REC_EMPTY, heard.take());
        queue.clear();
        device.state = 0;
        queue.stateChanged();
        assertEquals("idle", heard.take());
        queue.submit(text("seven"));
        assertEquals("[seven]", device.sent.take()); // six never went out
    }

    @Test
    void aSynchronousJobIsNotSentToAStoppedPrinterAndOtherwiseReturnsOncePrinted() throws Exception {
        device.state = EMPTY;
        UposException e = assertThrows(UposException.class, () -> queue.print(text("refused")));
        assertEquals(JPOS_EPTR_REC_EMPTY + " false", e.errorCodeExtended() + " " + e.jobHeld());
        assertNull(device.sent.poll());
        device.state = 0;
        Thread stop = new Thread(() -> {
            assertEquals("[held]", assertDoesNotThrow(() -> device.sent.take()));
            device.state = StatusEvents.COVER_OPEN | StatusEvents.OFFLINE; // opened with the job inside
        });
        stop.start();
        e = assertThrows(UposException.class, () -> queue.print(text("held")));
        assertEquals(JPOS_EPTR_COVER_OPEN + " true", e.errorCodeExtended() + " " + e.jobHeld());
        stop.join();
        device.state = 0;
        device.confirmations.release();
        queue.print(text("printed"));
        assertEquals("[printed]", device.sent.take());
        assertTrue(heard.stream().noneMatch(h -> h.startsWith("error")),
            "a synchronous caller hears of its error itself");
    }
}
