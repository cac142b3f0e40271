package brindle.jad.procyon;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import org.junit.Test;

// When a decompiler lets its kept JDK types go: once for each collection of the heap's
// long-lived part after they were started that left it more than half full, not again and
// again while the last collection's figures stand.
public class ClassPathTypesTest {
    // The long-lived part, as the test's collections leave it.
    private static final class Heap implements OldGeneration {
        long collections;
        boolean halfFull;

        @Override
        public long collections() {
            return collections;
        }

        @Override
        public boolean halfFull() {
            return halfFull;
        }
    }

    @Test
    public void keptTypesAreLetGoOnlyAfterALaterCollectionLeftTheHeapHalfFull() {
        final Heap heap = new Heap();
        // Collections so far, whether the last left the heap half full, and whether a set
        // started at the first row is let go.
        final Object[][] steps = {
            {3L, true, false},   // the collection before the set started
            {3L, true, false},   // still no other
            {4L, false, false},  // one that freed enough
            {5L, true, true},
        };
        heap.collections = (Long) steps[0][0];
        heap.halfFull = (Boolean) steps[0][1];
        final ClassPathTypes types = new ClassPathTypes(new ClassPathLoader(), heap);
        for (Object[] step : steps) {
            heap.collections = (Long) step[0];
            heap.halfFull = (Boolean) step[1];
            assertEquals("after collection " + step[0], step[2], types.full());
        }
    }

    @Test
    public void thisVmsLongLivedPartCountsItsCollections() {
        final long before = OldGeneration.HEAP.collections();
        System.gc();
        assertTrue(OldGeneration.HEAP.collections() > before);
    }
}
