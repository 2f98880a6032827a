package com.kesto.pos.upos;

/** The printer under the layer: what the output queue needs of it. */
interface Device {
    /** Writes the job whole, or fails with what went wrong. */
    void send(Job job) throws UposException;

    /**
     * Waits up to timeoutMs for the printer to confirm on paper all that was sent: 1 printed, 0 not yet, -1
     * gone.
     */
    int waitPrinted(int timeoutMs);

    /** The last state read (the library's state bits), -1 when the printer cannot be reached. */
    int state();
}
