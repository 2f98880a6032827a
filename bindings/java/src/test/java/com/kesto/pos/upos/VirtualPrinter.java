package com.kesto.pos.upos;

import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.net.Socket;
import java.nio.file.Path;

/** A kesto-virtual-printer process on free loopback ports, writing its receipts to out. */
final class VirtualPrinter implements AutoCloseable {
    final Process process;
    final int port;
    final int controlPort;

    VirtualPrinter(Path out) throws Exception { this(out, 0); }

    VirtualPrinter(Path out, int printPort) throws Exception {
        process = new ProcessBuilder(System.getProperty("kesto.virtualPrinter"), "--port", "" + printPort, "--control-port", "0",
            "--out", out.toString(), "--quiet").start();
        BufferedReader lines = new BufferedReader(new InputStreamReader(process.getInputStream()));
        port = Integer.parseInt(lines.readLine().replaceAll(".*:", "")); // listening on 127.0.0.1:N
        controlPort = Integer.parseInt(lines.readLine().replaceAll(".*:", "")); // control on ...
    }

    String description() { return "<device><type>ETH</type><path>127.0.0.1:" + port + "</path></device>"; }

    /** Sets the simulated condition; the printer's answer starts with "ok". */
    void control(String word) {
        try (Socket s = new Socket("127.0.0.1", controlPort)) {
            s.getOutputStream().write((word + "\n").getBytes());
            String reply = new BufferedReader(new InputStreamReader(s.getInputStream())).readLine();
            if (reply == null || !reply.startsWith("ok"))
                throw new IllegalStateException(word + ": " + reply);
        } catch (java.io.IOException e) {
            throw new IllegalStateException(word, e);
        }
    }

    @Override
    public void close() {
        process.destroy();
        process.onExit().join();
    }
}
