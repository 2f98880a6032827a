package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.io.UncheckedIOException;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.function.Predicate;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;

/** A kesto-virtual-printer child process on free ports, writing its receipts to a temporary folder. */
final class VirtualPrinter implements AutoCloseable {
    private static final Pattern LISTENING = Pattern.compile("listening on 127\\.0\\.0\\.1:(\\d+)");
    private static final Pattern CONTROL = Pattern.compile("control on 127\\.0\\.0\\.1:(\\d+)");
    private static final Pattern RECEIPT_FILE = Pattern.compile("receipt-(\\d+)\\.txt");

    final int port;
    final int controlPort;
    final Path out;
    private final Process process;

    private VirtualPrinter(Process process, Path out, int port, int controlPort) {
        this.process = process;
        this.out = out;
        this.port = port;
        this.controlPort = controlPort;
    }

    static VirtualPrinter start() throws IOException, InterruptedException {
        return start(0);
    }

    /** A printer on the given port (0: a free one). */
    static VirtualPrinter start(int printPort) throws IOException, InterruptedException {
        String exe = System.getProperty("kesto.virtualPrinter");
        assertNotNull(exe, "the build passes -Dkesto.virtualPrinter");
        Path out = Files.createTempDirectory("kesto-vprinter");
        Process process = new ProcessBuilder(exe, "--port", Integer.toString(printPort), "--control-port", "0",
            "--out", out.toString(), "--quiet")
                .redirectErrorStream(true)
                .start();
        LinkedBlockingQueue<String> lines = new LinkedBlockingQueue<>();
        Thread drain = new Thread(() -> {
            try (BufferedReader r = new BufferedReader(
                     new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8))) {
                for (String line; (line = r.readLine()) != null;) lines.add(line);
            } catch (IOException ignored) {
                // the process ended
            }
        }, "vprinter-output");
        drain.setDaemon(true);
        drain.start();
        int port = -1;
        int control = -1;
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
        while (port < 0 || control < 0) {
            String line = lines.poll(deadline - System.nanoTime(), TimeUnit.NANOSECONDS);
            if (line == null) {
                process.destroyForcibly();
                fail("the virtual printer did not report its ports");
            }
            Matcher m = LISTENING.matcher(line);
            if (m.find())
                port = Integer.parseInt(m.group(1));
            m = CONTROL.matcher(line);
            if (m.find())
                control = Integer.parseInt(m.group(1));
        }
        return new VirtualPrinter(process, out, port, control);
    }

    /** Sends one control command ("cover-open", "status", ...) and returns its "ok ..." answer. */
    String control(String command) throws IOException {
        try (Socket s = new Socket("127.0.0.1", controlPort)) {
            s.setSoTimeout(5000);
            OutputStream o = s.getOutputStream();
            o.write((command + "\n").getBytes(StandardCharsets.US_ASCII));
            o.flush();
            String reply =
                new BufferedReader(new InputStreamReader(s.getInputStream(), StandardCharsets.US_ASCII))
                    .readLine();
            assertTrue(reply != null && reply.startsWith("ok"), command + ": " + reply);
            return reply;
        }
    }

    /** The transcripts of every finished receipt, in order. */
    String transcript() {
        List<Path> files = new ArrayList<>();
        try (Stream<Path> s = Files.list(out)) {
            s.filter(p -> RECEIPT_FILE.matcher(p.getFileName().toString()).matches()).forEach(files::add);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
        files.sort(Comparator.comparingInt(VirtualPrinter::receiptNumber));
        StringBuilder all = new StringBuilder();
        for (Path p : files) {
            try {
                all.append(Files.readString(p, StandardCharsets.UTF_8));
            } catch (IOException e) {
                // still being written: the caller polls again
                return "";
            }
        }
        return all.toString();
    }

    /** Polls the transcripts until ready accepts them. */
    String awaitTranscript(Predicate<String> ready, Duration timeout) throws InterruptedException {
        long deadline = System.nanoTime() + timeout.toNanos();
        String t = transcript();
        while (!ready.test(t)) {
            if (System.nanoTime() > deadline)
                fail("the virtual printer never showed it; transcript:\n" + t);
            Thread.sleep(20);
            t = transcript();
        }
        return t;
    }

    /** The printable text of the transcript's text entries, joined in order. */
    static String printedText(String transcript) {
        StringBuilder text = new StringBuilder();
        for (String line : transcript.split("\n")) {
            if (line.startsWith("text \"") && line.endsWith("\""))
                text.append(unquote(line.substring(6, line.length() - 1)));
        }
        return text.toString();
    }

    private static String unquote(String q) {
        StringBuilder s = new StringBuilder();
        for (int i = 0; i < q.length(); ++i) {
            char c = q.charAt(i);
            if (c == '\\' && i + 1 < q.length()) {
                char n = q.charAt(++i);
                if (n == 'x' && i + 2 < q.length()) {
                    s.append((char) Integer.parseInt(q.substring(i + 1, i + 3), 16));
                    i += 2;
                } else {
                    s.append(n);
                }
            } else {
                s.append(c);
            }
        }
        return s.toString();
    }

    private static int receiptNumber(Path p) {
        Matcher m = RECEIPT_FILE.matcher(p.getFileName().toString());
        return m.matches() ? Integer.parseInt(m.group(1)) : 0;
    }

    @Override
    public void close() throws IOException {
        process.destroy();
        try {
            if (!process.waitFor(5, TimeUnit.SECONDS))
                process.destroyForcibly().waitFor();
        } catch (InterruptedException e) {
            process.destroyForcibly();
            Thread.currentThread().interrupt();
        }
        try (Stream<Path> s = Files.walk(out)) {
            for (Path p : s.sorted(Comparator.reverseOrder()).toList()) Files.deleteIfExists(p);
        }
    }
}
