package brindle.jad.procyon;

import com.strobel.assembler.metadata.MetadataSystem;
import com.strobel.assembler.metadata.TypeDefinition;
import java.io.File;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.Map;
import java.util.Set;

// The types a decompiler reads from the class path (the JDK's), kept from one class file to
// the next: reading them again for every class file costs more than decompiling it. They are
// read, and resolve the types they name, through the class path alone, as a cold run reads them
// whenever none of the class files it is given stands in for one of them.
final class ClassPathTypes extends MetadataSystem {
    // Past this many types the decompiler starts a new set, so that it stays small.
    static final int LIMIT = 16_384;

    private final ClassPathLoader classPath;
    private final OldGeneration heap;
    // The collections of the heap's long-lived part before this set was started.
    private final long collectionsBefore;
    // The package of every type read, with the types' names inside it.
    private final Map<String, Set<String>> byPackage = new HashMap<>();
    private int count;
    private int misses;

    ClassPathTypes(ClassPathLoader classPath, OldGeneration heap) {
        super(classPath);
        this.classPath = classPath;
        this.heap = heap;
        this.collectionsBefore = heap.collections();
    }

    // The class path's type of this name, or null when the class path has none.
    TypeDefinition find(String internalName, boolean mightBePrimitive) {
        return classPath.has(internalName) ? resolveType(internalName, mightBePrimitive) : null;
    }

    @Override
    protected TypeDefinition resolveType(String descriptor, boolean mightBePrimitive) {
        final TypeDefinition type = super.resolveType(descriptor, mightBePrimitive);
        if (type == null) {
            ++misses;
        } else if (!type.isPrimitive()) {
            final String name = type.getInternalName();
            final int slash = name.lastIndexOf('/');
            if (byPackage.computeIfAbsent(slash < 0 ? "" : name.substring(0, slash), p -> new LinkedHashSet<>())
                    .add(name.substring(slash + 1)))
                ++count;
        }
        return type;
    }

    // How many names these types looked for and the class path did not have: such a name is
    // looked for among the request's own files in a cold run.
    int misses() {
        return misses;
    }

    // Past LIMIT types, or when a collection of the heap's long-lived part since this set was
    // started left it more than half full: the kept types of every decompiler share the heap
    // with the work in hand, and a heap kept full collects again and again (a large library's
    // batch came to a crawl). Only a collection after the set's start counts: the last one's
    // figures stand until the next, often many class files later, and a set started afresh
    // after each of them would keep nothing.
    boolean full() {
        return count > LIMIT || (heap.collections() != collectionsBefore && heap.halfFull());
    }

    // Whether a request that knows these class files and folders would have read one of these
    // types from its own files instead: Procyon looks for a name first in the folders of the
    // packages it has met (and their subfolders), then on the class path.
    boolean shadowedBy(Map<String, ? extends Set<File>> packageFolders, Set<String> knownNames) {
        for (String name : knownNames) {
            final int slash = name.lastIndexOf('/');
            final Set<String> names = byPackage.get(slash < 0 ? "" : name.substring(0, slash));
            if (names != null && names.contains(name.substring(slash + 1))) return true;
        }
        for (Map.Entry<String, ? extends Set<File>> entry : packageFolders.entrySet()) {
            final String head = entry.getKey();
            if (head.isEmpty()) continue;  // Procyon never looks for a packaged name there
            for (Map.Entry<String, Set<String>> types : byPackage.entrySet()) {
                final String pkg = types.getKey();
                if (!pkg.equals(head) && !pkg.startsWith(head + "/")) continue;
                final String below = pkg.substring(head.length());
                for (File folder : entry.getValue()) {
                    final File inside = below.isEmpty() ? folder : new File(folder, below.substring(1));
                    if (!inside.isDirectory()) continue;
                    for (String type : types.getValue()) {
                        if (new File(inside, type + ".class").exists()) return true;
                    }
                }
            }
        }
        return false;
    }
}
