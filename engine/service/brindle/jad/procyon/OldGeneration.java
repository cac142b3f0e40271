package brindle.jad.procyon;

import java.lang.management.GarbageCollectorMXBean;
import java.lang.management.ManagementFactory;
import java.lang.management.MemoryPoolMXBean;
import java.lang.management.MemoryType;
import java.lang.management.MemoryUsage;
import java.util.Arrays;

// The heap's long-lived part, as the collections of it leave it.
interface OldGeneration {
    // How many collections of it there have been so far.
    long collections();

    // Whether the last of them left it more than half full.
    boolean halfFull();

    // This VM's. Only the long-lived part supports usage thresholds among the heap's pools:
    // eden and survivors are meant to fill up.
    OldGeneration HEAP = new OldGeneration() {
        @Override
        public long collections() {
            long count = 0;
            for (GarbageCollectorMXBean collector : ManagementFactory.getGarbageCollectorMXBeans()) {
                if (Arrays.stream(collector.getMemoryPoolNames()).anyMatch(this::isOld))
                    count += Math.max(0, collector.getCollectionCount());
            }
            return count;
        }

        @Override
        public boolean halfFull() {
            for (MemoryPoolMXBean pool : ManagementFactory.getMemoryPoolMXBeans()) {
                if (!isOld(pool.getName())) continue;
                final MemoryUsage after = pool.getCollectionUsage();
                if (after != null && after.getMax() > 0 && after.getUsed() > after.getMax() / 2) return true;
            }
            return false;
        }

        private boolean isOld(String poolName) {
            for (MemoryPoolMXBean pool : ManagementFactory.getMemoryPoolMXBeans()) {
                if (pool.getName().equals(poolName))
                    return pool.getType() == MemoryType.HEAP && pool.isUsageThresholdSupported();
            }
            return false;
        }
    };
}
