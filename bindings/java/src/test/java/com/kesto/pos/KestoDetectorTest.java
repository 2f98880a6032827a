package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** Runs in a network namespace of its own, where the detector holds 127.0.0.1:9930. */
@Timeout(20)
class KestoDetectorTest {
    private static boolean channelBound() throws Exception {
        return Files.readAllLines(Path.of("/proc/net/udp")).stream().anyMatch(l -> l.contains("0100007F:26CA "));
    }

    @Test
    void passesEachHotPlugNoticeToTheListenerUntilClosed() throws Exception {
        BlockingQueue<String> heard = new LinkedBlockingQueue<>();
        KestoDetector detector = KestoDetector.open(() -> heard.add(Thread.currentThread().getName()));
        assertEquals(List.of(), detector.printers());
        while (!channelBound()) Thread.sleep(10);
        byte[] notice = "DEVICE_REMOVE DEVICE_ADD".getBytes(StandardCharsets.US_ASCII);
        try (DatagramSocket s = new DatagramSocket()) {
            s.send(new DatagramPacket(notice, notice.length, InetAddress.getLoopbackAddress(), 9930));
        }
        assertEquals(List.of("kesto-hotplug", "kesto-hotplug"), List.of(heard.take(), heard.take())); // a call a word
        detector.close();
        detector.close();
        assertEquals(false, channelBound());
        assertThrows(IllegalStateException.class, detector::printers);
    }
}
