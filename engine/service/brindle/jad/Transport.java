package brindle.jad;

import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.Channel;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.security.MessageDigest;
import java.security.SecureRandom;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.List;
import java.util.concurrent.TimeUnit;

// Where requests come from: a listening socket whose connections go to the
// service, until the service has been idle for long enough. Everything about
// sockets, addresses and their files is here: a Unix-domain socket on Linux,
// a loopback TCP port with a handshake on Windows.
abstract class Transport implements AutoCloseable {
    // How long a connection may take over its handshake.
    static final long HANDSHAKE_LIMIT_MS = 10_000;

    final ServerSocketChannel server;
    // What a connection must send before it reaches the service, and what it is
    // answered then; both null where the socket itself keeps other users out.
    private final byte[] secret;
    private final byte[] proof;
    private final long handshakeLimitMillis;

    @Override
    public abstract void close() throws IOException;

    Transport(ServerSocketChannel server, byte[] secret, byte[] proof, long handshakeLimitMillis) {
        this.server = server;
        this.secret = secret;
        this.proof = proof;
        this.handshakeLimitMillis = handshakeLimitMillis;
    }

    // A connection that has not yet sent the whole secret.
    private static final class Handshake {
        final ByteBuffer given;
        final long deadline;  // System.nanoTime()

        Handshake(int size, long deadline) {
            this.given = ByteBuffer.allocate(size);
            this.deadline = deadline;
        }
    }

    // Accepts connections until the service has had nothing to do for idleMillis.
    // Handshakes are read here, without blocking, so a connection that sends
    // nothing holds up no other and no thread; one that has not passed its
    // handshake in time, or sends another secret, is closed unanswered. Pending
    // handshakes do not keep the service from ending: they are not work.
    final void serve(Service service, long idleMillis) throws IOException {
        server.configureBlocking(false);
        try (Selector selector = Selector.open()) {
            server.register(selector, SelectionKey.OP_ACCEPT);
            try {
                for (;;) {
                    selector.select(1000);
                    selector.selectedKeys().clear();
                    SocketChannel client;
                    while ((client = server.accept()) != null) {
                        if (secret == null) {
                            client.configureBlocking(true);
                            service.accept(client);
                        } else {
                            client.configureBlocking(false);
                            client.register(selector, SelectionKey.OP_READ, new Handshake(secret.length,
                                    System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(handshakeLimitMillis)));
                        }
                    }
                    if (secret != null) handshakes(selector, service);
                    if (service.idleMillis() >= idleMillis) return;
                }
            } finally {
                for (SelectionKey key : selector.keys()) {
                    if (key.channel() != server) closeQuietly(key.channel());
                }
            }
        }
    }

    // Reads what has come of each pending handshake; passes the connections that
    // sent the secret to the service, after the proof.
    private void handshakes(Selector selector, Service service) throws IOException {
        final long now = System.nanoTime();
        final List<SocketChannel> passed = new ArrayList<>();
        for (SelectionKey key : selector.keys()) {
            if (key.channel() == server || !key.isValid()) continue;
            final SocketChannel client = (SocketChannel) key.channel();
            final Handshake handshake = (Handshake) key.attachment();
            boolean ended;
            try {
                ended = client.read(handshake.given) < 0;
            } catch (IOException e) {
                ended = true;
            }
            if (!ended && handshake.given.hasRemaining()) {
                if (now - handshake.deadline > 0) closeQuietly(client);
                continue;
            }
            key.cancel();
            if (ended || !MessageDigest.isEqual(handshake.given.array(), secret)) {
                closeQuietly(client);
            } else {
                passed.add(client);
            }
        }
        if (passed.isEmpty()) return;
        selector.selectNow();  // deregisters them, so that they may block again
        for (SocketChannel client : passed) {
            try {
                client.configureBlocking(true);
                final ByteBuffer answer = ByteBuffer.wrap(proof);
                while (answer.hasRemaining()) client.write(answer);
            } catch (IOException e) {
                closeQuietly(client);
                continue;
            }
            service.accept(client);
        }
    }

    private static void closeQuietly(Channel channel) {
        try {
            channel.close();
        } catch (IOException e) {
            // Already gone.
        }
    }

    // A Unix-domain socket at a path in the user's private socket folder.
    static final class Unix extends Transport {
        private final Path path;
        private final Object identity;

        private Unix(ServerSocketChannel server, Path path) {
            super(server, null, null, 0);
            this.path = path;
            this.identity = identity(path);
        }

        // Binds under a private name and renames it over the final one, so a
        // client sees either the old socket file or a listening one.
        static Unix listen(Path path) throws IOException {
            final Path temp = path.resolveSibling(path.getFileName() + "." + ProcessHandle.current().pid());
            Files.deleteIfExists(temp);
            final ServerSocketChannel server = ServerSocketChannel.open(StandardProtocolFamily.UNIX);
            try {
                server.bind(UnixDomainSocketAddress.of(temp), 16);
                Files.move(temp, path, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
            } catch (IOException e) {
                server.close();
                Files.deleteIfExists(temp);
                throw e;
            }
            return new Unix(server, path);
        }

        // Removes the socket only while it is still ours: a newer service may have
        // been started over a socket it took for dead.
        @Override
        public void close() throws IOException {
            if (identity != null && identity.equals(identity(path))) Files.deleteIfExists(path);
            server.close();
        }

        private static Object identity(Path path) {
            try {
                return Files.readAttributes(path, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS)
                        .fileKey();
            } catch (IOException e) {
                return null;
            }
        }
    }

    // Windows gives programs no Unix-domain sockets: a TCP socket on the loopback
    // address, at a port the system chooses. Any user of the machine can reach that
    // port, so every connection starts with a handshake that only this user can
    // pass: the port file, in the user's private folder (files created there take
    // its access rules: the user's alone), holds the port, a secret, a proof and the
    // process id. A client first sends the secret; the service answers with the
    // proof, so that a client never takes another program that has come to hold
    // the port of a service that ended for its service. Then the request and the
    // answers follow as over the Unix-domain socket.
    //
    // Port file: "<port>\n<secret>\n<proof>\n<process id>\n", ASCII; secret and
    // proof are 64 hex digits each.
    static final class Tcp extends Transport {
        // The endpoint argument that names a port file: "tcp:<port file>".
        static final String PREFIX = "tcp:";

        private final Path portFile;
        private final byte[] contents;

        private Tcp(ServerSocketChannel server, byte[] secret, byte[] proof, long handshakeLimitMillis,
                    Path portFile, byte[] contents) {
            super(server, secret, proof, handshakeLimitMillis);
            this.portFile = portFile;
            this.contents = contents;
        }

        static Tcp listen(Path portFile) throws IOException {
            return listen(portFile, HANDSHAKE_LIMIT_MS);
        }

        // Listens, then publishes the port file under a private name renamed over
        // the final one, so that a client reads either the old file or the whole new one.
        static Tcp listen(Path portFile, long handshakeLimitMillis) throws IOException {
            final SecureRandom random = new SecureRandom();
            final String secret = randomHex(random);
            final String proof = randomHex(random);
            final ServerSocketChannel server = ServerSocketChannel.open();
            final byte[] contents;
            final Path temp = portFile.resolveSibling(portFile.getFileName() + "." + ProcessHandle.current().pid());
            try {
                server.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0), 16);
                final int port = ((InetSocketAddress) server.getLocalAddress()).getPort();
                contents = (port + "\n" + secret + "\n" + proof + "\n" + ProcessHandle.current().pid() + "\n")
                                   .getBytes(StandardCharsets.US_ASCII);
                Files.write(temp, contents);
                Files.move(temp, portFile, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
            } catch (IOException e) {
                Files.deleteIfExists(temp);
                server.close();
                throw e;
            }
            return new Tcp(server, secret.getBytes(StandardCharsets.US_ASCII),
                           proof.getBytes(StandardCharsets.US_ASCII), handshakeLimitMillis, portFile, contents);
        }

        private static String randomHex(SecureRandom random) {
            final byte[] bytes = new byte[32];
            random.nextBytes(bytes);
            return HexFormat.of().formatHex(bytes);
        }

        // Removes the port file only while it is still this service's: a newer
        // service may have been started over a port file it took for dead.
        @Override
        public void close() throws IOException {
            try {
                if (Arrays.equals(Files.readAllBytes(portFile), contents)) Files.deleteIfExists(portFile);
            } catch (IOException e) {
                // Already gone.
            }
            server.close();
        }
    }
}
