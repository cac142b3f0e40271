package brindle.jad.procyon;

import com.strobel.assembler.metadata.MetadataSystem;
import com.strobel.assembler.metadata.TypeDefinition;
import java.io.File;
import java.lang.management.ManagementFactory;
import java.lang.management.MemoryPoolMXBean;
import java.lang.management.MemoryType;
import java.lang.management.MemoryUsage;
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
    // The package of every type read, with the types' names inside it.
    private final Map<String, Set<String>> byPackage = new HashMap<>();
    private int count;
    private int misses;

    ClassPathTypes(ClassPathLoader classPath) {
        super(classPath);
        this.classPath = classPath;
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

    // Past LIMIT types, or when the heap's long-lived part was more than half full after its
    // last collection: the kept types of every decompiler share the heap with the work in hand,
    // and a heap kept full collects again and again (a large library's batch came to a crawl).
    boolean full() {
        return count > LIMIT || heapTight();
    }

    private static boolean heapTight() {
        for (MemoryPoolMXBean pool : ManagementFactory.getMemoryPoolMXBeans()) {
            // Only the old generation supports usage thresholds; eden and survivors are meant
            // to fill up.
            if (pool.getType() != MemoryType.HEAP || !pool.isUsageThresholdSupported()) continue;
            final MemoryUsage after = pool.getCollectionUsage();
            if (after != null && after.getMax() > 0 && after.getUsed() > after.getMax() / 2) return true;
        }
        return false;
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
