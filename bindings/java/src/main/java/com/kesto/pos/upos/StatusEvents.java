package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;

import java.util.ArrayList;
import java.util.List;

/**
 * The printer's state (the library's state bits, -1 when it cannot be reached) in UnifiedPOS
 * terms, and the status update events one change of it raises.
 */
final class StatusEvents {
    private StatusEvents() {}

    // The library's printer state bits.
    static final int OFFLINE = 0x001;
    static final int COVER_OPEN = 0x002;
    static final int PAPER_END = 0x004;
    static final int PAPER_NEAR_END = 0x008;
    static final int DRAWER_PIN_HIGH = 0x020;
    static final int UNREACHABLE = -1;

    /**
     * The power state: with advanced reporting a printer that does not answer is off and one that
     * answers but stopped (cover, paper, error) is off-line; standard reporting tells them apart
     * from on-line only.
     */
    static int powerState(int state, int reporting) {
        if (state != UNREACHABLE && (state & OFFLINE) == 0)
            return JPOS_PS_ONLINE;
        if (reporting != JPOS_PR_ADVANCED)
            return JPOS_PS_OFF_OFFLINE;
        return state == UNREACHABLE ? JPOS_PS_OFF : JPOS_PS_OFFLINE;
    }

    /** 2 for an empty roll, 1 for a roll near its end, 0 for paper. */
    static int paperLevel(int state) {
        return (state & PAPER_END) != 0 ? 2 : (state & PAPER_NEAR_END) != 0 ? 1 : 0;
    }

    /**
     * The events from state {@code from} to state {@code to}, power first (whether the printer
     * can be used at all), then the cover, then the paper. A printer that cannot be reached tells
     * nothing of its cover and paper: those are compared with {@code lastKnown}, the last state
     * read from it.
     */
    static List<Integer> changes(int from, int to, int lastKnown, boolean powerNotify, int reporting) {
        List<Integer> events = new ArrayList<>();
        if (powerNotify && powerState(from, reporting) != powerState(to, reporting))
            events.add(powerState(to, reporting)); // the JPOS_SUE_POWER_* values are the JPOS_PS_* ones
        if (to == UNREACHABLE)
            return events;
        int before = from == UNREACHABLE ? lastKnown : from;
        if (before == UNREACHABLE)
            before = 0;
        if (((before ^ to) & COVER_OPEN) != 0)
            events.add((to & COVER_OPEN) != 0 ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK);
        int paper = paperLevel(to);
        if (paper != paperLevel(before))
            events.add(paper == 2 ? PTR_SUE_REC_EMPTY
                    : paper == 1  ? PTR_SUE_REC_NEAREMPTY
                                  : PTR_SUE_REC_PAPEROK);
        return events;
    }

    /** The error a stopped printer reports: {errorCode, errorCodeExtended}, or null while it prints. */
    static int[] error(int state) {
        if (state == UNREACHABLE)
            return new int[] {JPOS_E_NOHARDWARE, 0};
        if ((state & COVER_OPEN) != 0)
            return new int[] {JPOS_E_EXTENDED, JPOS_EPTR_COVER_OPEN};
        if ((state & PAPER_END) != 0)
            return new int[] {JPOS_E_EXTENDED, JPOS_EPTR_REC_EMPTY};
        if ((state & OFFLINE) != 0)
            return new int[] {JPOS_E_OFFLINE, 0};
        return null;
    }
}
