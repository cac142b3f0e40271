package brindle.jad;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import javax.tools.ToolProvider;
import org.junit.AfterClass;
import org.junit.BeforeClass;
import org.junit.Test;

// One Procyon that keeps the JDK's types from one class file to the next, on the real Procyon
// and class files javac compiles here: each source is the one a fresh Procyon makes, also where
// a class file beside the one given stands in for a JDK type the kept ones hold.
public class ProcyonEngineTest {
    private static Path root;

    // A class of the JDK's package org.w3c.dom, generic, where the JDK has an interface of that
    // name without the method: a class using it compiles and decompiles differently.
    private static final String STAND_IN =
            "package org.w3c.dom; public class Node<T> { public T get() { return null; } }";

    private static void compile(Path classes, String classPath, String... sources) throws IOException {
        Files.createDirectories(classes);
        // Release 8 has no modules: a source may declare a class in a package of the JDK.
        final List<String> args = new ArrayList<>(List.of("--release", "8", "-d", classes.toString(), "-cp", classPath));
        for (String source : sources) {
            final String name = source.replaceAll("(?s).*?(class|interface) (\\w+).*", "$2");
            final Path file = Files.createTempDirectory(root, "src").resolve(name + ".java");
            Files.writeString(file, source);
            args.add(file.toString());
        }
        assertEquals(0, ToolProvider.getSystemJavaCompiler().run(null, null, null, args.toArray(new String[0])));
    }

    @BeforeClass
    public static void compileFixtures() throws IOException {
        root = Files.createTempDirectory("brindle-procyon-engine-test");
        final String uses = "import java.util.*; public class %s { String name(org.w3c.dom.Node n) {"
                + " List<String> names = new ArrayList<>(); names.add(n.getNodeName()); return names.get(0); } }";
        compile(root.resolve("jdk"), root.resolve("jdk").toString(), String.format(uses, "UsesJdk"), String.format(uses, "UsesJdkAgain"));
        // The stand-in beside a class of the same tree that uses it.
        compile(root.resolve("own"), root.resolve("own").toString(), STAND_IN,
                "package org.demo; public class UsesOwn { String name(org.w3c.dom.Node<String> n) {"
                        + " return n.get(); } }");
    }

    @AfterClass
    public static void removeFixtures() throws IOException {
        try (var files = Files.walk(root)) {
            files.sorted(Collections.reverseOrder()).map(Path::toFile).forEach(File::delete);
        }
    }

    private static String source(Engine engine, Path file) throws Exception {
        final Answer answer = Decompile.run(engine, file.toString(), null);
        assertEquals(file.toString(), Answer.SOURCE, answer.kind);
        return new String(answer.body, StandardCharsets.UTF_8);
    }

    @Test
    public void aProcyonThatKeptTheJdksTypesGivesAFreshOnesSourceAndReadsStandInsAsProcyonDoes() throws Exception {
        final Engine kept = ProcyonLoader.newEngine();
        final Path own = root.resolve("own/org/demo/UsesOwn.class");
        // The JDK's Node is kept before the class file standing in for it is met, and after.
        final List<Path> files = List.of(root.resolve("jdk/UsesJdk.class"), own, root.resolve("jdk/UsesJdkAgain.class"), own);
        for (Path file : files) assertEquals(file.toString(), source(ProcyonLoader.newEngine(), file), source(kept, file));
        // Procyon looks for a name in the folders of the packages it met before the class
        // path: the stand-in's generic method needs no cast, the JDK's Node has no such method.
        assertTrue(source(kept, own).contains("return node.get();"));
        assertTrue(source(ProcyonLoader.newEngine(), own).contains("return node.get();"));
    }
}
