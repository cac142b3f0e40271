// The service's transport on Windows, which gives programs no Unix-domain sockets: a TCP socket
// on the loopback address, at a port the system chooses. Any user of the machine can reach that
// port, so every connection starts with a handshake that only this user can pass: the service
// writes its port, a secret, a proof and its process id into the port file, which lies in the
// user's private folder (files created there take its access rules: the user's alone). A client
// first sends the secret; the service answers with the proof, so that a client never takes
// another program that has come to hold the port of a service that ended for its service.
// Then the request and the answer follow as over the Unix-domain socket.
//
// Port file: "<port>\n<secret>\n<proof>\n<process id>\n", ASCII; secret and proof are 64 hex
// digits each.
package brindle.jad;

import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.SecureRandom;
import java.util.Arrays;
import java.util.HexFormat;

final class TcpEndpoint {
    static final String PREFIX = "tcp:";

    final ServerSocketChannel server;
    private final byte[] secret;
    private final byte[] proof;
    private final Path portFile;
    private final byte[] contents;

    private TcpEndpoint(ServerSocketChannel server, byte[] secret, byte[] proof, Path portFile,
            byte[] contents) {
        this.server = server;
        this.secret = secret;
        this.proof = proof;
        this.portFile = portFile;
        this.contents = contents;
    }

    // Listens, then publishes the port file under a private name renamed over the final one,
    // so that a client reads either the old file or the whole new one.
    static TcpEndpoint open(Path portFile) throws IOException {
        final SecureRandom random = new SecureRandom();
        final String secret = randomHex(random);
        final String proof = randomHex(random);
        final ServerSocketChannel server = ServerSocketChannel.open();
        server.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0), 16);
        final int port = ((InetSocketAddress) server.getLocalAddress()).getPort();
        final byte[] contents = (port + "\n" + secret + "\n" + proof + "\n"
                + ProcessHandle.current().pid() + "\n").getBytes(StandardCharsets.US_ASCII);
        final Path temp = portFile.resolveSibling(
                portFile.getFileName() + "." + ProcessHandle.current().pid());
        try {
            Files.write(temp, contents);
            Files.move(temp, portFile, StandardCopyOption.REPLACE_EXISTING,
                    StandardCopyOption.ATOMIC_MOVE);
        } catch (IOException e) {
            Files.deleteIfExists(temp);
            server.close();
            throw e;
        }
        return new TcpEndpoint(server, secret.getBytes(StandardCharsets.US_ASCII),
                proof.getBytes(StandardCharsets.US_ASCII), portFile, contents);
    }

    private static String randomHex(SecureRandom random) {
        final byte[] bytes = new byte[32];
        random.nextBytes(bytes);
        return HexFormat.of().formatHex(bytes);
    }

    // Reads the client's secret and answers it with the proof; false (nothing written) when the
    // client does not know the secret or goes away.
    boolean handshake(SocketChannel client) {
        try {
            final ByteBuffer given = ByteBuffer.allocate(secret.length);
            while (given.hasRemaining()) {
                if (client.read(given) < 0) return false;
            }
            if (!MessageDigest.isEqual(given.array(), secret)) return false;
            final ByteBuffer answer = ByteBuffer.wrap(proof);
            while (answer.hasRemaining()) client.write(answer);
            return true;
        } catch (IOException e) {
            return false;
        }
    }

    // Removes the port file only while it is still this service's: a newer service may have
    // been started over a port file it took for dead.
    void close() throws IOException {
        try {
            if (Arrays.equals(Files.readAllBytes(portFile), contents)) Files.deleteIfExists(portFile);
        } catch (IOException e) {
            // Already gone.
        }
        server.close();
    }
}
