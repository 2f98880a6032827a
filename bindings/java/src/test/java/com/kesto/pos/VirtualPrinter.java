package com.kesto.pos;

import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.net.Socket;
import java.nio.file.Files;
import java.nio.file.Path;

/** A kesto-virtual-printer process on free loopback ports, writing its receipts to out. */
public final class VirtualPrinter implements AutoCloseable {
    private final Process process;
    public final int port;
    final int controlPort;
    private final Path out;

    public VirtualPrinter(Path out) throws Exception { this(out, 0); }

    public VirtualPrinter(Path out, int printPort) throws Exception {
        this.out = out;
        process = new ProcessBuilder(System.getProperty("kesto.virtualPrinter"), "--port", "" + printPort,
            "--control-port", "0", "--out", out.toString(), "--quiet")
                      .start();
        BufferedReader lines = new BufferedReader(new InputStreamReader(process.getInputStream()));
        port = Integer.parseInt(lines.readLine().replaceAll(".*:", "")); // listening on 127.0.0.1:N
        controlPort = Integer.parseInt(lines.readLine().replaceAll(".*:", "")); // control on ...
    }

    public String description() {
        return "<device><type>ETH</type><path>127.0.0.1:" + port + "</path></device>";
    }

    /** Sets the simulated condition; the printer's answer starts with "ok". */
    public void control(String word) {
        try (Socket s = new Socket("127.0.0.1", controlPort)) {
            s.getOutputStream().write((word + "\n").getBytes());
            String reply = new BufferedReader(new InputStreamReader(s.getInputStream())).readLine();
            if (reply == null || !reply.startsWith("ok"))
                throw new IllegalStateException(word + ": " + reply);
        } catch (java.io.IOException e) {
            throw new IllegalStateException(word, e);
        }
    }

    /** The transcript of receipt n, once it holds text. */
    public String await(int n, String text) throws Exception {
        for (Path p = out.resolve("receipt-" + n + ".txt");; Thread.sleep(20)) {
            String t = Files.exists(p) ? Files.readString(p) : "";
            if (t.contains(text))
                return t;
        }
    }

    @Override
    public void close() {
        process.destroy();
        process.onExit().join();
    }
}
