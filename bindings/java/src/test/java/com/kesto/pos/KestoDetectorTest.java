package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.IOException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetSocketAddress;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

@Timeout(20)
class KestoDetectorTest {
    private static final Set<Integer> CHANNEL_PORTS = Set.of(9930, 9931, 9932, 9934, 9935);

    /** The loopback UDP endpoints of the channel bound by sockets of this process. */
    private static Set<InetSocketAddress> ownChannelEndpoints() throws IOException {
        Set<String> inodes = new HashSet<>();
        try (Stream<Path> fds = Files.list(Path.of("/proc/self/fd"))) {
            for (Path fd : fds.toList()) {
                try {
                    String target = Files.readSymbolicLink(fd).toString();
                    if (target.startsWith("socket:["))
                        inodes.add(target.substring(8, target.length() - 1));
                } catch (IOException gone) {
                    // closed meanwhile
                }
            }
        }
        Set<InetSocketAddress> endpoints = new HashSet<>();
        for (String line : Files.readAllLines(Path.of("/proc/net/udp"))) {
            String[] f = line.trim().split("\\s+");
            if (f.length < 10 || !f[1].contains(":") || !inodes.contains(f[9]))
                continue;
            String[] local = f[1].split(":");
            int port = Integer.parseInt(local[1], 16);
            long ip = Long.parseLong(local[0], 16); // host byte order, little-endian here
            String address =
                (ip & 0xff) + "." + ((ip >> 8) & 0xff) + "." + ((ip >> 16) & 0xff) + "." + (ip >> 24);
            if (CHANNEL_PORTS.contains(port) && address.startsWith("127.")) {
                endpoints.add(new InetSocketAddress(address, port));
            }
        }
        return endpoints;
    }

    private static InetSocketAddress awaitOwnEndpoint() throws Exception {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(5);
        for (;;) {
            Set<InetSocketAddress> e = ownChannelEndpoints();
            if (e.size() == 1)
                return e.iterator().next();
            assertEquals(0, e.size(), "one detector binds one endpoint");
            if (System.nanoTime() > deadline)
                throw new AssertionError("the detector bound no endpoint");
            Thread.sleep(20);
        }
    }

    private static void send(InetSocketAddress to, String text) throws IOException {
        byte[] bytes = text.getBytes(StandardCharsets.US_ASCII);
        try (DatagramSocket s = new DatagramSocket()) {
            s.send(new DatagramPacket(bytes, bytes.length, to));
        }
    }

    @Test
    void listsNoPrinterHereAndPassesHotPlugNoticesToTheListener() throws Exception {
        BlockingQueue<String> heard = new LinkedBlockingQueue<>();
        KestoDetector detector = KestoDetector.open(() -> heard.add(Thread.currentThread().getName()));
        try {
            assertEquals(List.of(), detector.printers());
            InetSocketAddress endpoint = awaitOwnEndpoint();
            send(endpoint, "DEVICE_ADD");
            assertEquals("kesto-hotplug", heard.poll(5, TimeUnit.SECONDS));
            // One call per word, however many a datagram holds.
            send(endpoint, "DEVICE_REMOVE DEVICE_ADD");
            assertNotNull(heard.poll(5, TimeUnit.SECONDS));
            assertNotNull(heard.poll(5, TimeUnit.SECONDS));
        } finally {
            detector.close();
        }
        // Closing gives the endpoint back; nothing is heard afterwards.
        assertEquals(Set.of(), ownChannelEndpoints());
        assertNull(heard.poll(200, TimeUnit.MILLISECONDS));
        detector.close();
        assertThrows(IllegalStateException.class, detector::printers);
    }
}
