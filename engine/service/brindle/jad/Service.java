package brindle.jad;

import java.io.File;
import java.io.IOException;
import java.nio.channels.ByteChannel;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.TimeUnit;

// Answers the requests of every connection a transport accepts, one thread per
// connection, and keeps watch over them.
final class Service {
    private static final long REQUEST_READ_LIMIT_MS = 10_000;

    private final String key;
    private final Scheduler scheduler;
    // Open connections, with the moment their request must have arrived by (0 once it has).
    private final Map<ByteChannel, Long> open = new ConcurrentHashMap<>();
    private volatile long lastActivity = System.nanoTime();

    Service(String key, Scheduler scheduler) {
        this.key = key;
        this.scheduler = scheduler;
        final Thread watchdog = new Thread(this::watch, "jad-watchdog");
        watchdog.setDaemon(true);
        watchdog.start();
    }

    // Serves one connection on a thread of its own and closes it.
    void accept(ByteChannel connection) {
        lastActivity = System.nanoTime();
        open.put(connection, System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(REQUEST_READ_LIMIT_MS));
        final Thread thread = new Thread(() -> serve(connection), "jad-request");
        thread.setDaemon(true);
        thread.start();
    }

    // How long nothing has been asked for or worked on; 0 while something is.
    long idleMillis() {
        if (!open.isEmpty() || scheduler.busy()) {
            lastActivity = System.nanoTime();
            return 0;
        }
        return TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - lastActivity);
    }

    private void serve(ByteChannel connection) {
        try {
            final Protocol.Request request = Protocol.read(connection);
            if (request == null) return;
            open.put(connection, 0L);
            if (!request.key().equals(key)) {
                Protocol.started(connection);
                Protocol.answer(connection, Answer.COLD, "the service belongs to another jad");
                return;
            }
            if (!new File(request.classFile()).isAbsolute() || !new File(request.workingFolder()).isAbsolute()) {
                Protocol.started(connection);
                Protocol.answer(connection, Answer.COLD, "not an absolute path");
                return;
            }
            final Answer answer = scheduler.answer(request.classFile(), request.workingFolder(),
                    request.timeoutSeconds() * 1000L, request.delayMillis(),
                    () -> Protocol.started(connection));
            Protocol.answer(connection, answer.kind, answer.body);
        } catch (IOException | RuntimeException | InterruptedException e) {
            // The client went away or sent something else; nothing to answer.
        } finally {
            open.remove(connection);
            lastActivity = System.nanoTime();
            close(connection);
        }
    }

    // Closes connections whose request does not arrive in time; lets the scheduler
    // keep its own watch.
    private void watch() {
        for (;;) {
            try {
                Thread.sleep(200);
            } catch (InterruptedException e) {
                return;
            }
            final long now = System.nanoTime();
            for (Map.Entry<ByteChannel, Long> entry : open.entrySet()) {
                final long deadline = entry.getValue();
                if (deadline != 0 && now - deadline > 0) close(entry.getKey());
            }
            scheduler.tick();
        }
    }

    private static void close(ByteChannel connection) {
        try {
            connection.close();
        } catch (IOException e) {
            // Already gone.
        }
    }
}
