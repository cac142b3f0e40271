package brindle.jad;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.FileTime;
import java.nio.file.attribute.PosixFilePermission;
import java.util.ArrayList;
import java.util.Collections;
import java.util.EnumSet;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import javax.tools.ToolProvider;
import org.junit.AfterClass;
import org.junit.BeforeClass;
import org.junit.Test;

// The scheduler on the real Procyon and real class files that javac compiles here. The
// engine is Procyon's own, counted: every decompile it does is noted in `decompiled`.
public class SchedulerTest {
    private static Path root;
    // A folder of four class files with a subfolder of two listed between them: the entry
    // before the subfolder, the subfolder's two in its order, two after it.
    private static List<Path> tree;
    private static Engine reference;

    private final List<String> decompiled = Collections.synchronizedList(new ArrayList<>());
    // The decompiles numbered so (from 1) wait until their latch opens.
    private final Map<Integer, CountDownLatch> holds = new ConcurrentHashMap<>();

    private Scheduler scheduler(int decompilers, long batchGapMillis) {
        return scheduler(decompilers, 64, batchGapMillis);
    }

    private Scheduler scheduler(int decompilers, int aheadLimit, long batchGapMillis) {
        return new Scheduler(decompilers, aheadLimit, batchGapMillis, () -> {
            final Engine procyon = ProcyonLoader.newEngine();
            return (classFile, workingFolder) -> {
                final int number;
                synchronized (decompiled) {
                    decompiled.add(Path.of(classFile).getFileName().toString());
                    number = decompiled.size();
                }
                final CountDownLatch hold = holds.get(number);
                if (hold != null) hold.await();
                return procyon.decompile(classFile, workingFolder);
            };
        });
    }

    private static void compile(Path folder, String... sources) throws IOException {
        Files.createDirectories(folder);
        final List<String> args = new ArrayList<>(List.of("-d", folder.toString()));
        for (String source : sources) {
            final String name = source.replaceAll("(?s).*?(class|interface) (\\w+).*", "$2");
            final Path file = root.resolve("src").resolve(folder.getFileName() + "-" + name).resolve(name + ".java");
            Files.createDirectories(file.getParent());
            Files.writeString(file, source);
            args.add(file.toString());
        }
        assertEquals(0, ToolProvider.getSystemJavaCompiler().run(null, null, null, args.toArray(new String[0])));
    }

    @BeforeClass
    public static void compileFixtures() throws Exception {
        root = Files.createTempDirectory("brindle-scheduler-test");
        reference = ProcyonLoader.newEngine();
        final List<String> batch = new ArrayList<>();
        for (String name : List.of("Alpha", "Beta", "Gamma", "Delta", "Epsilon", "Zeta"))
            batch.add("public class " + name + " { public int " + name.toLowerCase() + "() { return 1; } }");
        batch.add("public class Outer { private int x; public class Inner { int get() { return x; } } }");
        // "batch" is changed by one test, "stable" by none.
        for (String folder : List.of("batch", "stable")) {
            compile(root.resolve(folder), batch.toArray(new String[0]));
            // What the batch walk skips: a folder named like a class file, a file of another name.
            Files.createDirectories(root.resolve(folder).resolve("Folder.class"));
            Files.writeString(root.resolve(folder).resolve("notes.txt"), "not a class");
        }
        compile(root.resolve("changed"), "public class Gamma { public String changed() { return \"new\"; } }");

        tree = tree();

        final List<String> many = new ArrayList<>();
        for (int i = 0; i < 12; i++) many.add("public class Many" + i + " { }");
        compile(root.resolve("many"), many.toArray(new String[0]));
        // Answers are held only for files older than a second or so (the clock steps of a
        // file system), so that a change in the same step is never missed.
        Thread.sleep(1_500);
    }

    private static List<Path> tree() throws IOException {
        // The order a folder lists its entries in is the file system's: tried with other names
        // until the subfolder comes after one class file and before two.
        for (int attempt = 0; attempt < 50; attempt++) {
            final Path folder = root.resolve("tree" + attempt);
            compile(folder, "public class T0 { }", "public class T1 { }");
            final Path subfolder = folder.resolve("sub" + attempt);
            compile(subfolder, "public class S0 { }", "public class S1 { }");
            compile(folder, "public class T2 { }", "public class T3 { }");
            final List<Path> entries = new ArrayList<>();
            try (DirectoryStream<Path> found = Files.newDirectoryStream(folder)) {
                found.forEach(entries::add);
            }
            final int sub = entries.indexOf(subfolder);
            if (sub < 1 || sub > entries.size() - 3) continue;
            final List<Path> walk = new ArrayList<>(List.of(entries.get(sub - 1)));
            try (DirectoryStream<Path> found = Files.newDirectoryStream(subfolder)) {
                found.forEach(walk::add);
            }
            walk.addAll(entries.subList(sub + 1, sub + 3));
            return walk;
        }
        throw new AssertionError("no listing with the subfolder between class files");
    }

    @AfterClass
    public static void removeFixtures() throws IOException {
        try (var files = Files.walk(root)) {
            files.sorted(Collections.reverseOrder()).map(Path::toFile).forEach(File::delete);
        }
    }

    private static Answer ask(Scheduler scheduler, Path file) throws Exception {
        final boolean[] started = {false};
        final Answer answer = scheduler.answer(file.toString(), "/", 60_000, 0, () -> started[0] = true);
        assertTrue("started comes first", started[0]);
        return answer;
    }

    // The class files of a folder after `name` in the order the folder lists them.
    private static List<String> after(Path folder, String name) throws IOException {
        final List<String> names = new ArrayList<>();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(folder, "*.class")) {
            for (Path entry : entries) {
                if (!Files.isDirectory(entry)) names.add(entry.getFileName().toString());
            }
        }
        return names.subList(names.indexOf(name) + 1, names.size());
    }

    private void waitFor(int decompiles) throws InterruptedException {
        for (int i = 0; i < 600 && decompiled.size() < decompiles; i++) Thread.sleep(100);
        assertEquals(decompiles, decompiled.size());
    }

    // What another Procyon, in a class loader of its own, makes of the file.
    private static void assertCold(Path file, Answer answer) throws Exception {
        final Answer cold;
        synchronized (reference) {  // one decompile at a time in one Procyon
            cold = Decompile.run(reference, file.toString(), null);
        }
        assertEquals(cold.kind, answer.kind);
        assertEquals(new String(cold.body, StandardCharsets.UTF_8), new String(answer.body, StandardCharsets.UTF_8));
    }

    @Test
    public void aSingleRequestSetsOffNoWork() throws Exception {
        final Scheduler scheduler = scheduler(2, 60_000);
        final Path file = root.resolve("stable/Alpha.class");
        assertCold(file, ask(scheduler, file));
        assertFalse(scheduler.busy());
        assertEquals(List.of("Alpha.class"), decompiled);
    }

    @Test
    public void aBatchDecompilesAheadAndAnswersOnlyForUnchangedFiles() throws Exception {
        final Path folder = root.resolve("batch");
        final Scheduler scheduler = scheduler(1, 60_000);
        final List<String> ahead = new ArrayList<>(after(folder, ""));
        final String first = ahead.remove(0);
        // The second request from the folder starts the work ahead, from that file on.
        ask(scheduler, folder.resolve(first));
        ask(scheduler, folder.resolve(first));
        waitFor(2 + ahead.size());
        assertEquals(ahead, decompiled.subList(2, decompiled.size()));
        for (int i = 0; i < 600 && scheduler.busy(); i++) Thread.sleep(100);

        final List<String> plain = new ArrayList<>(ahead);
        plain.removeAll(List.of("Outer.class", "Outer$Inner.class"));
        final List<String> unchanged = new ArrayList<>(List.of(plain.get(4)));
        if (ahead.contains("Outer$Inner.class")) unchanged.add("Outer$Inner.class");
        for (String name : unchanged) {
            final int before = decompiled.size();
            assertCold(folder.resolve(name), ask(scheduler, folder.resolve(name)));
            assertEquals("answered from the work ahead: " + name, before, decompiled.size());
        }

        // Each change to a file, or to a file it was made from, gets a fresh decompile. The
        // replacement comes last: it changes the folder, which every answer was made from.
        final Path renamed = root.resolve("renamed.class");
        Files.copy(folder.resolve(plain.get(3)), renamed);
        final List<Object[]> changes = new ArrayList<>(List.of(
            new Object[] {plain.get(0), (Change) () -> Files.write(folder.resolve(plain.get(0)),
                                                    Files.readAllBytes(root.resolve("changed/Gamma.class")))},
            new Object[] {plain.get(1), (Change) () -> Files.write(folder.resolve(plain.get(1)),
                                                    Files.readAllBytes(folder.resolve(plain.get(1))))},
            new Object[] {plain.get(2), (Change) () -> Files.setPosixFilePermissions(folder.resolve(plain.get(2)),
                    EnumSet.of(PosixFilePermission.OWNER_READ, PosixFilePermission.OWNER_WRITE))},
            new Object[] {plain.get(3), (Change) () -> Files.move(renamed, folder.resolve(plain.get(3)),
                                                                  StandardCopyOption.REPLACE_EXISTING)}));
        if (ahead.contains("Outer$Inner.class")) {
            changes.add(3, new Object[] {"Outer$Inner.class", (Change) () -> Files.setLastModifiedTime(
                    folder.resolve("Outer.class"), FileTime.fromMillis(System.currentTimeMillis()))});
        }
        for (Object[] change : changes) {
            final String name = (String) change[0];
            ((Change) change[1]).apply();
            final int before = decompiled.size();
            final Answer answer = ask(scheduler, folder.resolve(name));
            assertEquals("decompiled afresh: " + name, before + 1, decompiled.size());
            assertCold(folder.resolve(name), answer);
            if (change == changes.get(0))
                assertTrue(new String(answer.body, StandardCharsets.UTF_8).contains("changed()"));
        }
    }

    private interface Change {
        void apply() throws IOException;
    }

    @Test
    public void aRequestGoesBeforeWorkAheadAndWorkNotBegunIsDroppedWhenTheBatchStops() throws Exception {
        final Path folder = root.resolve("many");
        final Scheduler scheduler = scheduler(1, 500);
        final List<String> names = after(folder, "");
        // The first decompile ahead (after the two requests) waits, and so does the fifth.
        final CountDownLatch third = new CountDownLatch(1);
        final CountDownLatch fifth = new CountDownLatch(1);
        holds.put(3, third);
        holds.put(5, fifth);
        ask(scheduler, folder.resolve(names.get(0)));
        ask(scheduler, folder.resolve(names.get(0)));
        for (int i = 0; i < 600 && decompiled.size() < 3; i++) Thread.sleep(10);
        assertEquals(List.of(names.get(0), names.get(0), names.get(1)), decompiled);

        // A request (from another folder) while the decompiler is busy ahead waits for it,
        // then goes before the rest of the work ahead.
        final Path asked = root.resolve("stable/Alpha.class");
        final Thread request = new Thread(() -> {
            try {
                ask(scheduler, asked);
            } catch (Exception e) {
                throw new AssertionError(e);
            }
        });
        request.start();
        Thread.sleep(200);
        third.countDown();
        request.join(60_000);
        assertFalse(request.isAlive());
        assertEquals("Alpha.class", decompiled.get(3));

        // The fifth waits; the batch stops meanwhile: what is queued ahead is dropped.
        for (int i = 0; i < 600 && decompiled.size() < 5; i++) Thread.sleep(10);
        Thread.sleep(600);
        scheduler.tick();
        fifth.countDown();
        for (int i = 0; i < 600 && scheduler.busy(); i++) Thread.sleep(10);
        assertFalse(scheduler.busy());
        assertEquals(5, decompiled.size());
    }

    @Test
    public void aSecondWalkStartedRightAfterTheFirstIsDecompiledAheadAgain() throws Exception {
        final Path folder = root.resolve("many");
        final Scheduler scheduler = scheduler(1, 60_000);
        final List<String> names = after(folder, "");
        for (String name : names) ask(scheduler, folder.resolve(name));
        for (int i = 0; i < 600 && scheduler.busy(); i++) Thread.sleep(10);
        final int firstWalk = decompiled.size();

        // The same walk again at once: the files the first walk asked for are asked again.
        ask(scheduler, folder.resolve(names.get(0)));
        ask(scheduler, folder.resolve(names.get(1)));
        for (int i = 0; i < 600 && scheduler.busy(); i++) Thread.sleep(10);
        assertEquals(names, decompiled.subList(firstWalk, decompiled.size()));
    }

    @Test
    public void workAheadFollowsTheWalkIntoASubfolderAndBackToTheFolderAbove() throws Exception {
        final Scheduler scheduler = scheduler(1, 2, 60_000);
        final List<String> names = new ArrayList<>();
        for (Path file : tree) names.add(file.getFileName().toString());
        // Two held at most: after the file before the subfolder, the subfolder's two.
        ask(scheduler, tree.get(0));
        ask(scheduler, tree.get(0));
        waitFor(4);
        assertEquals(names.subList(0, 3), decompiled.subList(1, 4));
        // The subfolder's last one is held; after it the walk goes back to the folder above.
        assertCold(tree.get(2), ask(scheduler, tree.get(2)));
        waitFor(6);
        assertEquals(names.subList(3, 5), decompiled.subList(4, 6));
    }

    @Test
    public void severalDecompilersGiveTheColdRunsBytes() throws Exception {
        final Path folder = root.resolve("stable");
        final Scheduler scheduler = scheduler(3, 60_000);
        final List<String> names = after(folder, "");
        final List<Thread> threads = new ArrayList<>();
        final List<Throwable> failures = Collections.synchronizedList(new ArrayList<>());
        for (String name : names) {
            threads.add(new Thread(() -> {
                try {
                    assertCold(folder.resolve(name), ask(scheduler, folder.resolve(name)));
                } catch (Throwable t) {
                    failures.add(t);
                }
            }));
        }
        threads.forEach(Thread::start);
        for (Thread t : threads) t.join(120_000);
        assertEquals(List.of(), failures);
        assertArrayEquals(names.stream().sorted().toArray(),
                          decompiled.stream().distinct().sorted().toArray());
    }
}
