// Compiles each source file named in a list alone, with javac in this VM, and prints one line
// per file: "ok<TAB>path" or "fail<TAB>path<TAB>the first error". Run by quality_bench.mjs as
//   java Recompile.java <class path> <scratch output folder> <list file>
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Locale;
import javax.tools.Diagnostic;
import javax.tools.DiagnosticCollector;
import javax.tools.JavaCompiler;
import javax.tools.JavaFileObject;
import javax.tools.StandardJavaFileManager;
import javax.tools.ToolProvider;

public final class Recompile {
    public static void main(String[] args) throws Exception {
        final JavaCompiler javac = ToolProvider.getSystemJavaCompiler();
        final StandardJavaFileManager files =
                javac.getStandardFileManager(null, Locale.ROOT, StandardCharsets.UTF_8);
        // No source path: a file must compile against the class path alone, not its neighbours.
        final List<String> options = List.of("-classpath", args[0], "-sourcepath", "", "-d", args[1],
                "-proc:none", "-implicit:none", "-nowarn", "-Xlint:none", "-encoding", "UTF-8",
                "-Xmaxerrs", "1");
        for (String file : Files.readAllLines(Path.of(args[2]), StandardCharsets.UTF_8)) {
            if (file.isEmpty()) continue;
            final DiagnosticCollector<JavaFileObject> diagnostics = new DiagnosticCollector<>();
            boolean ok;
            String why = "";
            try {
                ok = javac.getTask(null, files, diagnostics, options, null,
                        files.getJavaFileObjects(file)).call();
            } catch (RuntimeException e) {
                ok = false;
                why = "javac failed: " + e;
            }
            for (Diagnostic<? extends JavaFileObject> d : diagnostics.getDiagnostics()) {
                if (d.getKind() == Diagnostic.Kind.ERROR && why.isEmpty())
                    why = "line " + d.getLineNumber() + ": " + d.getMessage(Locale.ROOT);
            }
            if (!ok && why.isEmpty()) why = "javac gave no class file";
            System.out.println((ok ? "ok\t" : "fail\t") + file
                    + (ok ? "" : "\t" + why.replaceAll("\\s+", " ")));
        }
    }
}
