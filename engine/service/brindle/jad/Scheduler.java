package brindle.jad;

import java.io.File;
import java.io.IOException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.TimeUnit;

// The decompilers and their work: requests first, in the order they come, then
// the class files decompiled ahead for a folder batch. Each decompiler is a
// thread with its own Procyon, started when there is work for it and none free;
// a free one waits without cost.
final class Scheduler {
    // A decompile may outlive its time limit by this much before the service ends
    // itself; jad normally ends the service first.
    private static final long GRACE_MS = 5_000;
    // Two requests from one folder at most this far apart make a batch; a batch
    // without a request for this long has stopped.
    static final long BATCH_GAP_MS = 2_000;
    private static final long HELD_BYTES = 64L << 20;

    /** Called once when the decompile for a request begins. */
    interface Started {
        void run() throws IOException;
    }

    /** Makes the Procyon of a new decompiler. */
    interface Engines {
        Engine newEngine() throws Exception;
    }

    private record Key(String classFile, String workingFolder) {
        String folder() {
            return classFile.substring(0, lastSeparator(classFile) + 1);
        }
    }

    // Where the last name in a path starts, less one; Windows takes '/' as well as its own separator.
    private static int lastSeparator(String path) {
        return Math.max(path.lastIndexOf('/'), path.lastIndexOf(File.separatorChar));
    }

    private static final class Task {
        final Key key;
        long timeoutMillis;
        long delayMillis;
        boolean requested;  // a request waits for it, so it is not held
        boolean begun;
        long deadline;  // System.nanoTime(), once begun
        final CompletableFuture<Void> started = new CompletableFuture<>();
        final CompletableFuture<Answer> done = new CompletableFuture<>();

        Task(Key key, long timeoutMillis, long delayMillis, boolean requested) {
            this.key = key;
            this.timeoutMillis = timeoutMillis;
            this.delayMillis = delayMillis;
            this.requested = requested;
        }
    }

    private final int maxDecompilers;
    private final int aheadLimit;
    private final Engines engines;
    private final long batchGap;  // nanoseconds

    // Guarded by this.
    private int decompilers;
    private int free;
    private final ArrayDeque<Task> requests = new ArrayDeque<>();
    private final ArrayDeque<Task> ahead = new ArrayDeque<>();
    private final Map<Key, Task> pending = new HashMap<>();  // queued or begun
    private final List<Task> begun = new ArrayList<>();
    private final LinkedHashMap<Key, Answer> held = new LinkedHashMap<>();  // oldest first
    private long heldBytes;
    private int activeRequests;
    private long lastRequestEnd = System.nanoTime() - TimeUnit.HOURS.toNanos(1);
    private String lastFolder = "";
    private boolean batch;
    private final Set<Key> answered = new HashSet<>();  // in this batch
    private Key walkStart;  // the first request of this batch
    private final Set<String> walked = new HashSet<>();  // the folders of this batch's requests
    // Folders as the batch walks them, the latest used last.
    private final LinkedHashMap<String, Listing> listings = new LinkedHashMap<>(16, 0.75f, true);

    // A folder's entries in the order a batch walks them: the order the folder lists them
    // in (readdir's); a subfolder (a real one, not a link) is walked where it is met.
    private record Listing(FileStamp stamp, List<Entry> entries) {}

    private record Entry(String name, boolean folder) {}

    Scheduler(int decompilers, int aheadLimit, long batchGapMillis, Engines engines) {
        this.maxDecompilers = decompilers;
        this.aheadLimit = aheadLimit;
        this.batchGap = TimeUnit.MILLISECONDS.toNanos(batchGapMillis);
        this.engines = engines;
    }

    // The answer for one request. Blocks until it is there.
    Answer answer(String classFile, String workingFolder, long timeoutMillis, long delayMillis,
                  Started started) throws IOException, InterruptedException {
        final Key key = new Key(classFile, workingFolder);
        final boolean aheadNow;
        synchronized (this) {
            ++activeRequests;
            final long now = System.nanoTime();
            final boolean soon = activeRequests > 1 || now - lastRequestEnd <= batchGap;
            batch = soon && (batch || key.folder().equals(lastFolder));
            // The batch's first file asked for again: the walk has started over (a second batch
            // started at once), and what the last walk asked for is to be decompiled ahead again.
            if (!batch || (key.equals(walkStart) && answered.contains(key))) {
                answered.clear();
                walked.clear();
            }
            if (!batch) walkStart = key;
            answered.add(key);
            walked.add(key.folder());
            lastFolder = key.folder();
            aheadNow = batch && aheadLimit > 0;
        }
        try {
            boolean startSent = false;
            boolean planned = !aheadNow;
            for (;;) {
                Answer answer = null;
                Task task = null;
                boolean fresh = false;
                synchronized (this) {
                    answer = held.remove(key);
                    if (answer != null) {
                        heldBytes -= answer.body.length;
                    } else {
                        task = pending.get(key);
                        if (task != null && task.begun) {
                            task.requested = true;
                        } else {
                            if (task != null) {
                                ahead.remove(task);
                                task.timeoutMillis = timeoutMillis;
                                task.delayMillis = delayMillis;
                                task.requested = true;
                            } else {
                                task = new Task(key, timeoutMillis, delayMillis, true);
                                pending.put(key, task);
                            }
                            requests.add(task);
                            fresh = true;
                            wake();
                        }
                    }
                }
                // After this request's own work is queued, so that it goes first.
                if (!planned) decompileAhead(key, timeoutMillis);
                planned = true;
                if (task != null) {
                    task.started.join();
                    if (!startSent) started.run();
                    startSent = true;
                    try {
                        answer = task.done.get();
                    } catch (ExecutionException e) {
                        answer = Answer.cold("the decompiler failed: " + e.getCause());
                    }
                    // Begun before this request came: it holds only while its files are unchanged.
                    if (fresh || answer.kind == Answer.COLD || answer.stillTrue()) return answer;
                } else if (answer.stillTrue()) {
                    if (!startSent) started.run();
                    return answer;
                }
            }
        } finally {
            synchronized (this) {
                --activeRequests;
                lastRequestEnd = System.nanoTime();
            }
        }
    }

    // Queues the class files the walk meets after this one, up to the limit, for the free
    // decompilers, in the walk's order: the rest of this folder with the subfolders met in it,
    // then the rest of the folders above it that the batch has asked from. Work not begun
    // that this replaces goes after it, while there is room.
    private void decompileAhead(Key key, long timeoutMillis) {
        final Set<String> above;
        synchronized (this) {
            if (!batch) return;
            above = Set.copyOf(walked);
        }
        final List<String> plan = plan(key.folder(), key.classFile.substring(lastSeparator(key.classFile) + 1), above);
        synchronized (this) {
            if (!batch) return;
            final LinkedHashMap<Key, Task> before = new LinkedHashMap<>();
            for (Task task : ahead) before.put(task.key, task);
            ahead.clear();
            for (String file : plan) {
                final Key nextKey = new Key(file, key.workingFolder);
                if (held.containsKey(nextKey) || answered.contains(nextKey)) continue;
                Task task = pending.get(nextKey);
                if (task == null) {
                    task = new Task(nextKey, timeoutMillis, 0, false);
                    pending.put(nextKey, task);
                } else if (before.remove(nextKey) == null) {
                    continue;  // asked for, or begun
                }
                ahead.add(task);
            }
            for (Task task : before.values()) {
                if (ahead.size() >= aheadLimit) {
                    pending.remove(task.key);
                } else {
                    ahead.add(task);
                }
            }
            if (!ahead.isEmpty()) wake();
        }
    }

    // Of the folders listed for one plan at most this many, so that a deep tree of folders
    // without class files costs little.
    private static final int PLAN_FOLDERS = 64;

    // The class files after `name` in `folder` in the walk's order, at most the limit.
    private List<String> plan(String folder, String name, Set<String> above) {
        final List<String> files = new ArrayList<>();
        final int[] folders = {0};
        String current = folder;
        String after = name;
        for (;;) {
            if (!walk(current, after, files, folders)) break;
            // The folder above, if the batch has asked from it: the walk comes back there.
            final int end = lastSeparator(current.substring(0, current.length() - 1));
            if (end < 0) break;
            final String parent = current.substring(0, end + 1);
            if (!above.contains(parent)) break;
            after = current.substring(end + 1, current.length() - 1);
            current = parent;
        }
        return files;
    }

    // Adds the class files of `folder` after the entry `after` (all, when null) and of the
    // subfolders met there; false when the limit is reached or `after` is not there.
    private boolean walk(String folder, String after, List<String> files, int[] folders) {
        if (++folders[0] > PLAN_FOLDERS) return false;
        final List<Entry> entries = listing(folder);
        int at = 0;
        if (after != null) {
            at = -1;
            for (int i = 0; i < entries.size() && at < 0; i++) {
                if (entries.get(i).name.equals(after)) at = i + 1;
            }
            if (at < 0) return false;
        }
        final char separator = folder.charAt(folder.length() - 1);
        for (Entry entry : entries.subList(at, entries.size())) {
            if (files.size() >= aheadLimit) return false;
            if (entry.folder) {
                if (!walk(folder + entry.name + separator, null, files, folders)) return false;
            } else {
                files.add(folder + entry.name);
            }
        }
        return files.size() < aheadLimit;
    }

    private List<Entry> listing(String folder) {
        final Path path = Path.of(folder);
        final FileStamp stamp = FileStamp.of(path);
        synchronized (this) {
            final Listing known = listings.get(folder);
            if (known != null && stamp != null && stamp.equals(known.stamp)) return known.entries;
        }
        final List<Entry> entries = new ArrayList<>();
        try (DirectoryStream<Path> found = Files.newDirectoryStream(path)) {
            for (Path entry : found) {
                final String name = entry.getFileName().toString();
                if (name.indexOf('\uFFFD') >= 0) continue;
                if (Files.isDirectory(entry, LinkOption.NOFOLLOW_LINKS)) {
                    entries.add(new Entry(name, true));
                } else if (name.length() > 5 && name.toUpperCase(Locale.ROOT).endsWith("CLASS")
                           && !Files.isDirectory(entry)) {
                    entries.add(new Entry(name, false));
                }
            }
        } catch (IOException | RuntimeException e) {
            return List.of();
        }
        synchronized (this) {
            listings.put(folder, new Listing(stamp, entries));
            final Iterator<Listing> oldest = listings.values().iterator();
            while (listings.size() > PLAN_FOLDERS) {
                oldest.next();
                oldest.remove();
            }
        }
        return entries;
    }

    // Lets the free decompilers take the new work, and starts more for what they leave.
    private void wake() {
        notifyAll();
        for (int unserved = requests.size() + ahead.size() - free;
             unserved > 0 && decompilers < maxDecompilers; --unserved) {
            ++decompilers;
            final Thread thread = new Thread(null, this::decompiler, "jad-decompiler", Decompile.STACK_SIZE);
            thread.setDaemon(true);
            thread.start();
        }
    }

    private synchronized Task next() throws InterruptedException {
        while (requests.isEmpty() && ahead.isEmpty()) {
            ++free;
            try {
                wait();
            } finally {
                --free;
            }
        }
        final Task task = requests.isEmpty() ? ahead.poll() : requests.poll();
        task.begun = true;
        task.deadline = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(task.timeoutMillis + GRACE_MS);
        begun.add(task);
        return task;
    }

    private synchronized void finished(Task task, Answer answer) {
        begun.remove(task);
        pending.remove(task.key);
        if (!task.requested && answer.canBeHeld()) {
            held.put(task.key, answer);
            heldBytes += answer.body.length;
            final Iterator<Answer> oldest = held.values().iterator();
            while (held.size() > aheadLimit || heldBytes > HELD_BYTES) {
                heldBytes -= oldest.next().body.length;
                oldest.remove();
            }
        }
    }

    private void decompiler() {
        Engine engine = null;
        for (;;) {
            final Task task;
            try {
                task = next();
            } catch (InterruptedException e) {
                return;
            }
            task.started.complete(null);
            Answer answer;
            try {
                if (task.delayMillis > 0) Thread.sleep(task.delayMillis);
                if (engine == null) engine = engines.newEngine();
                answer = Decompile.run(engine, task.key.classFile, task.key.workingFolder);
            } catch (Throwable t) {
                answer = Decompile.failed(t);
                engine = null;  // its state is unknown: the next task gets a new one
            }
            finished(task, answer);
            task.done.complete(answer);
        }
    }

    // Every few hundred milliseconds: ends the service when a decompile has run
    // past its limit, and drops the work not begun of a batch that has stopped.
    synchronized void tick() {
        final long now = System.nanoTime();
        for (Task task : begun) {
            // Procyon cannot be stopped from outside; the next jad run starts a new service.
            if (now - task.deadline > 0) Runtime.getRuntime().halt(3);
        }
        if (batch && activeRequests == 0 && now - lastRequestEnd > batchGap) {
            batch = false;
            answered.clear();
            walked.clear();
            for (Task task : ahead) pending.remove(task.key);
            ahead.clear();
        }
    }

    // Whether anything is asked for, queued or being decompiled.
    synchronized boolean busy() {
        return activeRequests > 0 || !pending.isEmpty();
    }
}
