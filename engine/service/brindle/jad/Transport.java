package brindle.jad;

import java.io.IOException;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.BasicFileAttributes;

// Where requests come from: a listening socket whose connections go to the
// service, until the service has been idle for long enough. Everything about
// sockets, addresses and their files is here.
abstract class Transport implements AutoCloseable {
    final ServerSocketChannel server;

    @Override
    public abstract void close() throws IOException;

    Transport(ServerSocketChannel server) {
        this.server = server;
    }

    // Accepts connections until the service has had nothing to do for idleMillis.
    final void serve(Service service, long idleMillis) throws IOException {
        server.configureBlocking(false);
        try (Selector selector = Selector.open()) {
            server.register(selector, SelectionKey.OP_ACCEPT);
            for (;;) {
                selector.select(1000);
                selector.selectedKeys().clear();
                SocketChannel client;
                while ((client = server.accept()) != null) {
                    client.configureBlocking(true);
                    service.accept(client);
                }
                if (service.idleMillis() >= idleMillis) return;
            }
        }
    }

    // A Unix-domain socket at a path in the user's private socket folder.
    static final class Unix extends Transport {
        private final Path path;
        private final Object identity;

        private Unix(ServerSocketChannel server, Path path) {
            super(server);
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
}
