package com.kesto.pos;

/** The two drawer kick-out connector pins. */
public enum Drawer {
    /** Connector pin 2. */
    A,
    /** Connector pin 5. */
    B
}
