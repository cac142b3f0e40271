package brindle.jad;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.ClosedChannelException;
import java.nio.channels.SocketChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.atomic.AtomicReference;
import org.junit.After;
import org.junit.Before;
import org.junit.Test;

// The loopback TCP transport (Windows's) on real sockets, with a service whose engine answers
// at once and notes every class file it is asked for.
public class TransportTest {
    private static final long HANDSHAKE_LIMIT_MS = 600;

    private Path folder;
    private Path portFile;
    private final List<String> decompiled = Collections.synchronizedList(new ArrayList<>());
    private Transport.Tcp transport;
    private Thread serving;
    private final AtomicReference<Throwable> failure = new AtomicReference<>();

    @Before
    public void listen() throws IOException {
        folder = Files.createTempDirectory("brindle-transport-test");
        portFile = folder.resolve("service.port");
        transport = Transport.Tcp.listen(portFile, HANDSHAKE_LIMIT_MS);
    }

    private void serve(long idleMillis) {
        final Scheduler scheduler = new Scheduler(1, 0, Scheduler.BATCH_GAP_MS, () -> (classFile, workingFolder) -> {
            decompiled.add(classFile);
            return new Engine.Result(Answer.SOURCE, "class A {}\n", false, List.of());
        });
        final Service service = new Service("key", scheduler);
        serving = new Thread(() -> {
            try {
                transport.serve(service, idleMillis);
            } catch (ClosedChannelException e) {
                // The test closed the transport while it served.
            } catch (Throwable t) {
                failure.set(t);
            }
        });
        serving.start();
    }

    @After
    public void end() throws Exception {
        transport.close();
        if (serving != null) serving.join(10_000);
        try (var files = Files.list(folder)) {
            for (Path file : files.toList()) Files.delete(file);
        }
        Files.delete(folder);
        if (failure.get() != null) throw new AssertionError(failure.get());
    }

    // port, secret, proof, process id
    private String[] published() throws IOException {
        final String text = Files.readString(portFile, StandardCharsets.US_ASCII);
        assertTrue(text, text.endsWith("\n"));
        final String[] lines = text.split("\n");
        assertEquals(4, lines.length);
        return lines;
    }

    private SocketChannel connect() throws IOException {
        return SocketChannel.open(new InetSocketAddress(InetAddress.getLoopbackAddress(),
                                                        Integer.parseInt(published()[0])));
    }

    private static byte[] request(String classFile) {
        final ByteBuffer b = ByteBuffer.allocate(1024).put(Protocol.MAGIC);
        for (String field : new String[] {"key", null, classFile, "/"}) {
            if (field == null) {
                b.putInt(60).putInt(0);
                continue;
            }
            final byte[] bytes = field.getBytes(StandardCharsets.UTF_8);
            b.putInt(bytes.length).put(bytes);
        }
        return java.util.Arrays.copyOf(b.array(), b.position());
    }

    private static void send(SocketChannel channel, byte[]... parts) throws IOException {
        for (byte[] part : parts) {
            final ByteBuffer buffer = ByteBuffer.wrap(part);
            while (buffer.hasRemaining()) channel.write(buffer);
        }
    }

    // Everything until the other side closes (or resets: a side that closes with bytes
    // unread resets the connection).
    private static byte[] readAll(SocketChannel channel) {
        final ByteBuffer all = ByteBuffer.allocate(1 << 16);
        try {
            while (channel.read(all) >= 0) {
                // more
            }
        } catch (IOException e) {
            // reset
        }
        return java.util.Arrays.copyOf(all.array(), all.position());
    }

    private static byte[] concat(byte[]... parts) {
        final ByteBuffer b = ByteBuffer.allocate(1 << 16);
        for (byte[] part : parts) b.put(part);
        return java.util.Arrays.copyOf(b.array(), b.position());
    }

    private static byte[] frame(byte kind, String body) {
        final byte[] bytes = body.getBytes(StandardCharsets.UTF_8);
        return ByteBuffer.allocate(9 + bytes.length).put(Protocol.MAGIC).put(kind).putInt(bytes.length).put(bytes).array();
    }

    @Test
    public void theSecretGetsTheProofThenTheRequestIsServed() throws Exception {
        final String[] lines = published();
        assertTrue(Integer.parseInt(lines[0]) > 0);
        assertTrue(lines[1].matches("[0-9a-f]{64}"));
        assertTrue(lines[2].matches("[0-9a-f]{64}"));
        assertFalse(lines[1].equals(lines[2]));
        assertEquals(String.valueOf(ProcessHandle.current().pid()), lines[3]);
        serve(60_000);
        // As Jad.exe sends it: the secret and the request in one go.
        try (SocketChannel client = connect()) {
            send(client, lines[1].getBytes(StandardCharsets.US_ASCII), request("/src/A.class"));
            assertArrayEquals(concat(lines[2].getBytes(StandardCharsets.US_ASCII), frame(Protocol.STARTED, ""),
                                     frame(Answer.SOURCE, "class A {}\n")),
                              readAll(client));
        }
        assertEquals(List.of("/src/A.class"), decompiled);
    }

    @Test
    public void anotherSecretOrNoneReachesNothingAndGetsNothing() throws Exception {
        serve(60_000);
        final byte[] secret = published()[1].getBytes(StandardCharsets.US_ASCII);
        final byte[] wrong = secret.clone();
        wrong[63] = (byte) (wrong[63] == '0' ? '1' : '0');
        try (SocketChannel silent = connect();
             SocketChannel partial = connect();
             SocketChannel other = connect()) {
            // The one that sends part of the secret and waits holds up no one.
            send(partial, java.util.Arrays.copyOf(secret, 63));
            send(other, wrong, request("/src/Wrong.class"));
            assertArrayEquals(new byte[0], readAll(other));
            try (SocketChannel right = connect()) {
                send(right, secret, request("/src/Right.class"));
                assertEquals(64 + 9 + 9 + "class A {}\n".length(), readAll(right).length);
            }
            // Closed unanswered once the handshake's time is up.
            final long start = System.nanoTime();
            assertArrayEquals(new byte[0], readAll(silent));
            assertArrayEquals(new byte[0], readAll(partial));
            assertTrue((System.nanoTime() - start) / 1_000_000 < HANDSHAKE_LIMIT_MS + 3_000);
        }
        assertEquals(List.of("/src/Right.class"), decompiled);
    }

    @Test
    public void aPendingHandshakeDoesNotKeepTheServiceAndTheFileGoesOnlyWhileItIsItsOwn() throws Exception {
        serve(300);
        try (SocketChannel silent = connect()) {
            serving.join(10_000);
            assertFalse("the service is still serving", serving.isAlive());
            transport.close();
            assertArrayEquals(new byte[0], readAll(silent));
        }
        assertFalse(Files.exists(portFile));

        // A newer service's port file stays.
        final Transport.Tcp older = Transport.Tcp.listen(folder.resolve("older.port"), HANDSHAKE_LIMIT_MS);
        Files.writeString(folder.resolve("older.port"), "1\nnewer\n");
        older.close();
        assertEquals("1\nnewer\n", Files.readString(folder.resolve("older.port")));
    }
}
