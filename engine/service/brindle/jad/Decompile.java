package brindle.jad;

import java.io.File;
import java.nio.charset.Charset;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.atomic.AtomicReference;
import java.util.logging.ConsoleHandler;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.Logger;

// One class file through one Procyon, finished the same way in the service and
// in a cold run: traces without the caller's frames, package-info as a
// package declaration, the text in the platform's charset as Procyon writes it.
final class Decompile {
    // Every decompile runs on a thread of this stack size, so that a deep method
    // overflows (or not) alike in the service and in a cold run.
    static final long STACK_SIZE = 16L << 20;

    private Decompile() {}

    // The logging Procyon's command line sets up when started without options:
    // severe records only, to stderr (which goes nowhere in both modes).
    static void configureLogging() {
        final Logger global = Logger.getGlobal();
        final Logger root = Logger.getAnonymousLogger().getParent();
        for (Handler h : global.getHandlers()) global.removeHandler(h);
        for (Handler h : root.getHandlers()) root.removeHandler(h);
        global.setLevel(Level.SEVERE);
        root.setLevel(Level.SEVERE);
        final ConsoleHandler handler = new ConsoleHandler();
        handler.setLevel(Level.SEVERE);
        global.addHandler(handler);
        root.addHandler(handler);
    }

    // A cold run: a fresh Procyon on a decompiler thread of its own, looking for
    // classes below this process's working folder.
    static Answer once(String classFile) throws InterruptedException {
        final AtomicReference<Answer> answer = new AtomicReference<>();
        final Thread thread = new Thread(null, () -> {
            try {
                answer.set(run(ProcyonLoader.newEngine(), classFile, null));
            } catch (Throwable t) {
                answer.set(failed(t));
            }
        }, "jad-decompiler", STACK_SIZE);
        thread.start();
        thread.join();
        return answer.get() != null ? answer.get() : Answer.cold("the decompiler ended without an answer");
    }

    // The answer when the engine itself failed (it could not be loaded, or the VM
    // ran out of memory or stack outside a method body): the engine must not be
    // used again, and a fresh VM may do better.
    static Answer failed(Throwable t) {
        if (t instanceof OutOfMemoryError) return Answer.cold("the decompiler ran out of memory");
        return Answer.cold("the decompiler failed: " + t);
    }

    // What the engine answers, finished. Whatever the engine throws is passed on.
    static Answer run(Engine engine, String classFile, String workingFolder) throws Exception {
        final long start = System.currentTimeMillis();
        final Engine.Result result = engine.decompile(classFile, workingFolder);
        final Charset charset = Charset.defaultCharset();
        switch (result.kind) {
            case Answer.SOURCE: {
                String text = Traces.inSource(result.text);
                if (result.packageInfo) text = PackageInfo.rewrite(text);
                return new Answer(Answer.SOURCE, text.getBytes(charset), madeFrom(classFile, result.read, start));
            }
            case Answer.NO_SOURCE:
                return new Answer(Answer.NO_SOURCE, Traces.trace(result.text).getBytes(charset),
                                  madeFrom(classFile, result.read, start));
            default:
                return Answer.cold(result.text);
        }
    }

    // The stamps of the class file, of every file read for it and of their folders (a
    // class added beside them could change the source). Empty when one of them changed
    // while it was decompiled, or cannot be stamped: such an answer is not held.
    private static List<FileStamp> madeFrom(String classFile, List<File> read, long start) {
        final Set<Path> paths = new LinkedHashSet<>();
        paths.add(Path.of(classFile));
        for (File file : read) paths.add(file.toPath());
        for (Path path : List.copyOf(paths)) {
            if (path.getParent() != null) paths.add(path.getParent());
        }
        final List<FileStamp> stamps = new ArrayList<>(paths.size());
        for (Path path : paths) {
            final FileStamp stamp = FileStamp.of(path);
            if (stamp == null || stamp.changedSince(start)) return List.of();
            stamps.add(stamp);
        }
        return stamps;
    }
}
