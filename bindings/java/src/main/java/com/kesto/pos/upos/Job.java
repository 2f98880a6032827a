package com.kesto.pos.upos;

import java.io.ByteArrayOutputStream;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * What one print call (or one transaction) sends, in order: command bytes, Unicode text for the
 * library's code-table engine, and image files for its image path. A job goes out whole, so
 * another job never lands inside it.
 */
public final class Job {
    /** One piece of a job. */
    public sealed interface Step permits Raw, Text, Image {}

    /** Command bytes, written as they are. */
    public record Raw(byte[] bytes) implements Step {}

    /** Text without line ends, printed through the printer's code tables. */
    public record Text(String text) implements Step {}

    /** An image file, printed one dot per pixel; deleted after sending when temporary. */
    public record Image(Path file, boolean temporary) implements Step {}

    private final List<Step> steps;

    private Job(List<Step> steps) { this.steps = Collections.unmodifiableList(steps); }

    public List<Step> steps() { return steps; }

    public boolean isEmpty() { return steps.isEmpty(); }

    /** Gathers steps; adjacent bytes and adjacent texts are joined. */
    public static final class Builder {
        private final List<Step> steps = new ArrayList<>();
        private final ByteArrayOutputStream raw = new ByteArrayOutputStream();
        private final StringBuilder text = new StringBuilder();

        public Builder bytes(int... values) {
            flushText();
            for (int v : values) raw.write(v);
            return this;
        }

        public Builder bytes(byte[] values) {
            flushText();
            raw.writeBytes(values);
            return this;
        }

        public Builder text(String value) {
            if (value.isEmpty())
                return this;
            flushRaw();
            text.append(value);
            return this;
        }

        public Builder image(Path file, boolean temporary) {
            flush();
            steps.add(new Image(file, temporary));
            return this;
        }

        public Builder append(Job job) {
            for (Step s : job.steps) {
                if (s instanceof Raw r)
                    bytes(r.bytes());
                else if (s instanceof Text t)
                    text(t.text());
                else
                    image(((Image) s).file(), ((Image) s).temporary());
            }
            return this;
        }

        public Job build() {
            flush();
            return new Job(new ArrayList<>(steps));
        }

        private void flush() {
            flushRaw();
            flushText();
        }

        private void flushRaw() {
            if (raw.size() > 0)
                steps.add(new Raw(raw.toByteArray()));
            raw.reset();
        }

        private void flushText() {
            if (text.length() > 0)
                steps.add(new Text(text.toString()));
            text.setLength(0);
        }
    }
}
