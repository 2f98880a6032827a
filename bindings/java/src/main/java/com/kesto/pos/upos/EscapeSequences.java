package com.kesto.pos.upos;

import java.nio.file.Path;

/**
 * Turns the data of {@code printNormal} into a job: text for the code-table engine and ESC/POS
 * commands for the UnifiedPOS escape sequences inside it.
 *
 * <p>A sequence is {@code ESC |}, an optional {@code !} (turn off), an optional decimal number,
 * lower-case letters and one upper-case letter that ends it. A sequence this printer does not
 * know, or one that breaks off, is dropped and never printed as text. A line feed ends the line:
 * the line's attributes (bold, underline, reverse, size, alignment) go back to normal after it,
 * as UnifiedPOS scopes them to one print line. One instance per printer: the attributes of a line
 * begun in one call still hold in the next.
 */
public final class EscapeSequences {
    /** What {@code setLogo} and {@code setBitmap} stored. */
    public interface Stored {
        /** The data of the logo at {@code PTR_L_TOP} or {@code PTR_L_BOTTOM}, or null. */
        String logo(int location);

        /** The prepared image of bitmap number n, or null. */
        Path bitmap(int number);
    }

    private static final int ESC = 0x1B;
    private static final int GS = 0x1D;

    private final Stored stored;
    private boolean bold;
    private int underline;
    private boolean reverse;
    private int size; // GS ! value
    private int align; // ESC a value

    public EscapeSequences(Stored stored) { this.stored = stored; }

    /** The job of one piece of printNormal data. */
    public Job parse(String data) {
        Job.Builder job = new Job.Builder();
        append(job, data, true);
        return job.build();
    }

    /** Appends the commands that bring every line attribute back to normal, as ESC|N does. */
    public void normal(Job.Builder job) {
        if (bold)
            job.bytes(ESC, 'E', 0);
        if (underline != 0)
            job.bytes(ESC, '-', 0);
        if (reverse)
            job.bytes(GS, 'B', 0);
        if (size != 0)
            job.bytes(GS, '!', 0);
        if (align != 0)
            job.bytes(ESC, 'a', 0);
        bold = reverse = false;
        underline = size = align = 0;
    }

    private void append(Job.Builder job, String data, boolean logos) {
        int i = 0;
        while (i < data.length()) {
            int c = data.codePointAt(i);
            if (c == ESC && i + 1 < data.length() && data.charAt(i + 1) == '|') {
                i = sequence(job, data, i + 2, logos);
                continue;
            }
            i += Character.charCount(c);
            if (c == '\n') {
                job.bytes('\n');
                normal(job);
            } else if (c == '\t') {
                job.bytes('\t');
            } else if (c >= 0x20 && c != 0x7F) {
                job.text(new String(Character.toChars(c)));
            } // other control characters (CR, a lone ESC) would be commands to the printer: dropped
        }
    }

    // Reads one sequence from i (behind ESC |); returns where the data goes on.
    private int sequence(Job.Builder job, String data, int i, boolean logos) {
        boolean off = i < data.length() && data.charAt(i) == '!';
        if (off)
            i++;
        int digits = i;
        while (i < data.length() && Character.isDigit(data.charAt(i)) && data.charAt(i) < 0x80) i++;
        String number = data.substring(digits, i);
        int letters = i;
        while (i < data.length() && data.charAt(i) >= 'a' && data.charAt(i) <= 'z') i++;
        if (i >= data.length() || data.charAt(i) < 'A' || data.charAt(i) > 'Z')
            return i; // broken off: what was read is dropped, the rest is data again
        if (number.length() > 6)
            return i + 1; // no count of lines, dots or percent is that long
        String name = (off ? "!" : "") + data.substring(letters, i + 1);
        int n = number.isEmpty() ? -1 : Integer.parseInt(number);
        apply(job, name, n, logos);
        return i + 1;
    }

    private void apply(Job.Builder job, String name, int n, boolean logos) {
        switch (name) {
            case "N":
                normal(job);
                break;
            case "bC":
            case "!bC":
                bold = name.equals("bC");
                job.bytes(ESC, 'E', bold ? 1 : 0);
                break;
            case "uC":
            case "!uC":
                // The number is the line's thickness in dots; the printer draws 1 or 2.
                underline = name.equals("!uC") || n == 0 ? 0 : n >= 2 ? 2 : 1;
                job.bytes(ESC, '-', underline);
                break;
            case "rvC":
            case "!rvC":
                reverse = name.equals("rvC");
                job.bytes(GS, 'B', reverse ? 1 : 0);
                break;
            case "C":
                if (n >= 1 && n <= 4) {
                    size = new int[] {0x00, 0x10, 0x01, 0x11}[n - 1]; // normal, wide, high, both
                    job.bytes(GS, '!', size);
                }
                break;
            case "lA":
            case "cA":
            case "rA":
                align = "lcr".indexOf(name.charAt(0));
                job.bytes(ESC, 'a', align);
                break;
            case "lF":
            case "uF":
                repeat(job, n < 0 ? 1 : n, name.equals("lF") ? 'd' : 'J');
                break;
            case "P":
            case "fP":
                byte[] cut = cut(n < 0 ? UposConst.PTR_CP_FULLCUT : n, name.equals("fP"));
                if (cut != null)
                    job.bytes(cut);
                break;
            case "tL":
            case "bL":
                String logo = logos
                    ? stored.logo(name.equals("tL") ? UposConst.PTR_L_TOP : UposConst.PTR_L_BOTTOM)
                    : null;
                if (logo != null)
                    append(job, logo, false); // a logo inside a logo is not expanded again
                break;
            case "B":
                Path bitmap = n < 0 ? null : stored.bitmap(n);
                if (bitmap != null) {
                    job.image(bitmap, false);
                    bold = reverse = false; // the library's image path initialises the printer
                    underline = size = align = 0;
                }
                break;
            default:
                break; // a sequence of another device class or printer: dropped
        }
    }

    // ESC d / ESC J take at most 255 lines or dots a command.
    private static void repeat(Job.Builder job, int count, int command) {
        for (int left = count; left > 0; left -= 255) job.bytes(ESC, command, Math.min(left, 255));
    }

    /**
     * GS V for a cut of the given percentage: 100 full, 1 to 99 partial; feed first moves the
     * last printed line past the cutter. Null for a percentage no cut has.
     */
    static byte[] cut(int percentage, boolean feed) {
        if (percentage < 1 || percentage > 100)
            return null;
        boolean full = percentage == UposConst.PTR_CP_FULLCUT;
        return feed ? new byte[] {GS, 'V', (byte) (full ? 65 : 66), 0}
                    : new byte[] {GS, 'V', (byte) (full ? 0 : 1)};
    }
}
