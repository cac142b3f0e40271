package brindle.jad;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotEquals;

import java.io.PrintWriter;
import java.io.StringWriter;
import java.util.ArrayList;
import java.util.List;
import org.junit.Test;

// Traces printed by the real Throwable.printStackTrace from frames set by hand: the same
// Procyon frames under two different callers give one trace, that of Procyon's frames alone.
public class TracesTest {
    private static StackTraceElement procyon(String method, int line) {
        return new StackTraceElement("com.strobel.decompiler.ast.AstBuilder", method, "AstBuilder.java", line);
    }

    private static final StackTraceElement JDK =
            new StackTraceElement(null, "java.base", null, "java.util.Objects", "requireNonNull", "Objects.java", 209);
    private static final StackTraceElement TYPE_LOADER = new StackTraceElement(
            "brindle.jad.procyon.ProcyonEngine$RequestTypeLoader", "tryLoadType", "ProcyonEngine.java", 150);
    private static final List<StackTraceElement> OUTER = List.of(
            procyon("addType", 137),
            new StackTraceElement("com.strobel.decompiler.languages.java.JavaLanguage", "decompileType",
                                  "JavaLanguage.java", 59));
    // Who called Procyon: the service's decompiler thread, a cold run's thread, or nobody.
    private static final List<List<StackTraceElement>> CALLERS = List.of(
            List.of(new StackTraceElement("brindle.jad.procyon.ProcyonEngine", "decompile", "ProcyonEngine.java", 110),
                    new StackTraceElement("brindle.jad.Decompile", "run", "Decompile.java", 70),
                    new StackTraceElement("brindle.jad.Scheduler", "decompiler", "Scheduler.java", 300),
                    new StackTraceElement(null, "java.base", null, "java.lang.Thread", "run", "Thread.java", 840)),
            List.of(new StackTraceElement("brindle.jad.procyon.ProcyonEngine", "decompile", "ProcyonEngine.java", 110),
                    new StackTraceElement("brindle.jad.Decompile", "lambda$once$0", "Decompile.java", 47),
                    new StackTraceElement(null, "java.base", null, "java.lang.Thread", "run", "Thread.java", 833)),
            List.of());

    private static StackTraceElement[] frames(List<StackTraceElement> top, List<StackTraceElement> caller) {
        final List<StackTraceElement> all = new ArrayList<>(top);
        all.addAll(OUTER);
        all.addAll(caller);
        return all.toArray(new StackTraceElement[0]);
    }

    // A method that failed with a cause (which has a message of two lines and a frame of
    // the service's type loader), a suppressed throwable and a cause of that.
    private static String printed(List<StackTraceElement> caller) {
        final NullPointerException cause = new NullPointerException("Cannot read field\n\"references\"");
        cause.setStackTrace(frames(List.of(JDK, procyon("convertLocalVariables", 2945), TYPE_LOADER,
                                           procyon("performStackAnalysis", 2501), procyon("build", 108)),
                                   caller));
        final IllegalStateException error = new IllegalStateException("could not decompile", cause);
        error.setStackTrace(frames(List.of(procyon("build", 110)), caller));
        final RuntimeException suppressed = new RuntimeException("while closing");
        suppressed.setStackTrace(frames(List.of(procyon("close", 12)), caller));
        final Error deeper = new Error("deeper");
        deeper.setStackTrace(frames(List.of(procyon("deep", 1), procyon("close", 12)), caller));
        suppressed.initCause(deeper);
        error.addSuppressed(suppressed);
        final StringWriter text = new StringWriter();
        error.printStackTrace(new PrintWriter(text));
        return text.toString();
    }

    // The same trace as Procyon writes it into a source.
    private static String inSource(String trace) {
        final StringBuilder source = new StringBuilder("class A {\n    void f() {\n");
        source.append("        // \n        // The error that occurred was:\n        // \n");
        for (String line : trace.strip().split("\n")) source.append("        // ").append(line.replace("\t", "    ")).append('\n');
        source.append("        // \n        throw new IllegalStateException(\"An error occurred while decompiling this method.\");\n");
        return source.append("    }\n}\n").toString();
    }

    @Test
    public void aTraceHasProcyonsFramesWhoeverCalledIt() {
        // Without the service's frame in the middle, as printStackTrace would print it.
        final String procyonOnly = printed(List.of()).replace("\tat " + TYPE_LOADER + "\n", "");
        assertNotEquals(printed(CALLERS.get(0)), printed(CALLERS.get(1)));
        for (List<StackTraceElement> caller : CALLERS) {
            assertEquals(procyonOnly, Traces.trace(printed(caller)));
            assertEquals(inSource(procyonOnly), Traces.inSource(inSource(printed(caller))));
        }
    }

    @Test
    public void anythingElseIsLeftAsItIs() {
        for (String text : new String[] {
                 "!!! ERROR: Failed to load class /a/B.class.\n",
                 "class A {\n    // The error that occurred was:\n}\n",
                 inSource("java.lang.Error: x\n\tat brindle.jad.X.y(X.java:1)\n\t... 3 more"),
                 inSource("java.lang.Error: x\n\tat com.strobel.A.b(A.java:1)\nCaused by: java.lang.Error\n\t... 9 more"),
             }) {
            assertEquals(text, text.startsWith("!!!") ? Traces.trace(text) : Traces.inSource(text));
        }
    }
}
