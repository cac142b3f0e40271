package brindle.jad;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

// Stack traces as Procyon prints them, without the frames below Procyon's own:
// whoever called Procyon (the service, a cold run, their threads) leaves no
// trace. Frames of the service's own code are left out wherever they are. The
// "... n more" lines are counted again as Throwable.printStackTrace counts them.
final class Traces {
    private static final String ERROR_MARK = "// The error that occurred was:";
    private static final String PROCYON = "com.strobel.";
    private static final String SERVICE = "brindle.jad.";
    private static final Pattern MORE = Pattern.compile("\\.\\.\\. (\\d+) more");

    private Traces() {}

    // A source in which Procyon wrote, for every method it could not decompile,
    //   <indent>// The error that occurred was:
    //   <indent>//
    //   <indent>// <trace line, its tabs as four blanks>...
    //   <indent>//
    static String inSource(String source) {
        if (!source.contains(ERROR_MARK)) return source;
        final String[] lines = source.split("\n", -1);
        final List<String> out = new ArrayList<>(lines.length);
        int i = 0;
        while (i < lines.length) {
            final String line = lines[i++];
            out.add(line);
            final String text = line.stripLeading();
            if (!text.equals(ERROR_MARK)) continue;
            final String lead = line.substring(0, line.length() - text.length()) + "// ";
            if (i >= lines.length || !lines[i].equals(lead)) continue;
            out.add(lines[i++]);
            int end = i;
            while (end < lines.length && lines[end].startsWith(lead) && !lines[end].equals(lead)) end++;
            final List<String> trace = new ArrayList<>();
            for (int j = i; j < end; j++) trace.add(lines[j].substring(lead.length()));
            final List<String> normal = normalise(trace, "    ");
            for (String t : normal == null ? trace : normal) out.add(lead + t);
            i = end;
        }
        return String.join("\n", out);
    }

    // One trace as Throwable.printStackTrace prints it.
    static String trace(String text) {
        final boolean newline = text.endsWith("\n");
        final List<String> lines = List.of((newline ? text.substring(0, text.length() - 1) : text).split("\n", -1));
        final List<String> normal = normalise(lines, "\t");
        return normal == null ? text : String.join("\n", normal) + (newline ? "\n" : "");
    }

    // One throwable of the trace: its own lines, its frames and "... n more", its
    // suppressed throwables and its cause, in the order printed.
    private static final class Block {
        final int depth;  // indent units before its caption ("Caused by: ", "Suppressed: ")
        final Block parent;
        final List<String> head = new ArrayList<>();
        final List<String> frames = new ArrayList<>();  // the text after "at "
        int more;
        final List<Block> children = new ArrayList<>();

        Block(int depth, Block parent) {
            this.depth = depth;
            this.parent = parent;
        }

        // Every frame, the shared ones from the enclosing trace included.
        List<String> allFrames() {
            final List<String> all = new ArrayList<>(frames);
            if (parent != null && more > 0) {
                final List<String> outer = parent.allFrames();
                if (more > outer.size()) throw new IllegalArgumentException("more frames than there are");
                all.addAll(outer.subList(outer.size() - more, outer.size()));
            }
            return all;
        }
    }

    // Null when the lines are not a trace this understands.
    private static List<String> normalise(List<String> lines, String unit) {
        if (lines.isEmpty()) return null;
        final Block top = new Block(0, null);
        top.head.add(lines.get(0));
        final Map<Integer, Block> latest = new HashMap<>();
        latest.put(0, top);
        Block current = top;
        for (String line : lines.subList(1, lines.size())) {
            int units = 0;
            while (line.startsWith(unit, units * unit.length())) units++;
            final String rest = line.substring(units * unit.length());
            final Matcher more = MORE.matcher(rest);
            if (units >= 1 && (rest.startsWith("at ") || more.matches())) {
                if (units != current.depth + 1 || current.more > 0) return null;
                if (!rest.startsWith("at ") && current.parent == null) return null;
                if (rest.startsWith("at ")) {
                    current.frames.add(rest.substring(3));
                } else {
                    current.more = Integer.parseInt(more.group(1));
                }
            } else if (rest.startsWith("Caused by: ") || (units >= 1 && rest.startsWith("Suppressed: "))) {
                final boolean cause = rest.startsWith("Caused by: ");
                final Block parent = latest.get(cause ? units : units - 1);
                if (parent == null) return null;
                current = new Block(units, parent);
                current.head.add(line);
                parent.children.add(current);
                final int depth = units;
                latest.keySet().removeIf(d -> d > depth);
                latest.put(units, current);
            } else {
                // A message of more than one line.
                if (!current.frames.isEmpty() || current.more > 0) return null;
                current.head.add(line);
            }
        }
        final List<String> out = new ArrayList<>();
        try {
            print(top, null, unit, out);
        } catch (IllegalArgumentException e) {
            return null;
        }
        return out;
    }

    private static void print(Block block, List<String> enclosing, String unit, List<String> out) {
        out.addAll(block.head);
        final List<String> frames = block.allFrames();
        frames.removeIf(f -> f.startsWith(SERVICE));
        while (!frames.isEmpty() && !frames.get(frames.size() - 1).startsWith(PROCYON))
            frames.remove(frames.size() - 1);
        int common = 0;
        if (enclosing != null) {
            while (common < frames.size() && common < enclosing.size()
                    && frames.get(frames.size() - 1 - common)
                               .equals(enclosing.get(enclosing.size() - 1 - common)))
                common++;
        }
        final String prefix = unit.repeat(block.depth + 1);
        for (int i = 0; i < frames.size() - common; i++) out.add(prefix + "at " + frames.get(i));
        if (common > 0) out.add(prefix + "... " + common + " more");
        for (Block child : block.children) print(child, frames, unit, out);
    }
}
