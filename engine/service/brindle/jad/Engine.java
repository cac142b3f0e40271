package brindle.jad;

import java.io.File;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;

// One Procyon, loaded by its own ProcyonLoader: Procyon keeps state in static
// fields, so two decompiles at once need two of them. Called by one thread at a time.
public interface Engine {
    // What Procyon finds on this VM's class path (the JDK and the Procyon jars), shared by
    // every decompiler: a class's bytes, or none for a name it does not find there.
    Map<String, byte[]> CLASS_PATH = new ConcurrentHashMap<>();

    // What Procyon made of one class file, before the service's own finishing.
    final class Result {
        public final byte kind;            // Answer.SOURCE, NO_SOURCE or COLD
        public final String text;          // the source, or what Procyon printed instead
        public final boolean packageInfo;  // the class file holds a package's package-info
        public final List<File> read;      // every class file Procyon read for it

        public Result(byte kind, String text, boolean packageInfo, List<File> read) {
            this.kind = kind;
            this.text = text;
            this.packageInfo = packageInfo;
            this.read = read;
        }
    }

    // Decompiles `classFile` (an absolute path). With a working folder, the
    // result is COLD when Procyon would have found a class below it (the
    // service runs in an empty folder); without one, Procyon looks in the
    // process's own working folder, as a cold run does.
    Result decompile(String classFile, String workingFolder) throws Exception;
}
