package com.kesto.pos;

/**
 * Told that a printer was plugged in or pulled out; ask {@link KestoDetector#printers()} again
 * to learn which. Called on the detector's thread (named "kesto-hotplug").
 */
@FunctionalInterface
public interface HotPlugListener {
    void hardwareChanged();
}
