// The resident side of jad: one Java VM per user that keeps Procyon loaded and
// decompiles class files for later jad runs over a Unix-domain socket.
//
// Started by jad (never by hand) as
//   java ... brindle.jad.JadService <socket path> <key> <idle seconds>
// with stdin, stdout and stderr on /dev/null and fd 3 the write end of jad's
// start-up pipe. Once the socket is listening it writes "R" on that pipe.
// On Windows, started as ... JadService tcp:<port file> <key> <idle seconds>, it
// listens on the loopback address instead (TcpEndpoint).
//
// Every request is decompiled with a fresh Procyon state and the settings of
// Procyon's own command line without options, so the answer is the text a
// cold `java ... DecompilerDriver <class file>` prints. Whatever the service
// cannot answer the same way (an exception inside Procyon, a request from
// another jad build) is answered "run cold", and jad starts Procyon itself.
// The service writes no file but its socket; jad writes the output file.
//
// Request:  "BRJ2" u32 keyLength key u32 timeoutSeconds u32 testDelayMillis
//           u32 length path   (UTF-8, the class file's absolute path)
//           u32 length folder (UTF-8, jad's working folder)
// Answer:   "BRJ2" u8 kind u32 length bytes
//           kind 0: the source; 1: no source, bytes = what Procyon printed on
//           stderr; 2: run cold, bytes = a reason
//
// Decompiles run one at a time: Procyon keeps some state in static fields.
// A decompile that runs past its request's time limit cannot be stopped
// inside Procyon, so the service ends itself (jad has already given up on
// it and reported the class file as timed out). After the idle time without
// a request the service removes its socket and ends.
package brindle.jad;

import com.strobel.Procyon;
import com.strobel.assembler.InputTypeLoader;
import com.strobel.assembler.metadata.Buffer;
import com.strobel.assembler.metadata.ClasspathTypeLoader;
import com.strobel.assembler.metadata.DeobfuscationUtilities;
import com.strobel.assembler.metadata.ITypeLoader;
import com.strobel.assembler.metadata.MetadataSystem;
import com.strobel.assembler.metadata.TypeDefinition;
import com.strobel.assembler.metadata.TypeReference;
import com.strobel.decompiler.AnsiTextOutput;
import com.strobel.decompiler.CommandLineOptions;
import com.strobel.decompiler.DecompilationOptions;
import com.strobel.decompiler.DecompilerSettings;
import com.strobel.decompiler.PlainTextOutput;
import com.strobel.decompiler.languages.java.JavaFormattingOptions;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.lang.reflect.Constructor;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.Arrays;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.locks.ReentrantLock;
import java.util.logging.ConsoleHandler;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.Logger;

public final class JadService {
    private static final byte[] MAGIC = {'B', 'R', 'J', '2'};
    private static final byte KIND_SOURCE = 0;
    private static final byte KIND_NO_SOURCE = 1;
    private static final byte KIND_COLD = 2;
    private static final int MAX_FIELD = 64 * 1024;
    private static final long REQUEST_READ_LIMIT_MS = 10_000;
    // A decompile may outlive its client's time limit by this much before the
    // service ends itself; jad normally ends the service first.
    private static final long DEADLINE_GRACE_MS = 5_000;

    private static final ReentrantLock DECOMPILE_LOCK = new ReentrantLock();

    // One open connection: the thread serving it and the moment it must be done by.
    private static final class Connection {
        final SocketChannel channel;
        volatile Thread thread;
        volatile long deadline;
        volatile boolean decompiling;

        Connection(SocketChannel channel, long deadline) {
            this.channel = channel;
            this.deadline = deadline;
        }
    }

    private static final Map<Connection, Boolean> ACTIVE = new ConcurrentHashMap<>();
    private static volatile long lastActivity = System.nanoTime();
    private static volatile Constructor<? extends MetadataSystem> metadataFactory;

    private JadService() {}

    public static void main(String[] args) throws Exception {
        if (args.length != 3) System.exit(2);
        final String key = args[1];
        final long idleMillis = Long.parseLong(args[2]) * 1000L;
        configureLogging();
        // On Windows: tcp:<port file> (see TcpEndpoint).
        if (args[0].startsWith(TcpEndpoint.PREFIX)) {
            final TcpEndpoint endpoint =
                    TcpEndpoint.open(Path.of(args[0].substring(TcpEndpoint.PREFIX.length())));
            serveUntilIdle(endpoint.server, key, endpoint, idleMillis);
            endpoint.close();
            System.exit(0);
        }
        final Path socketPath = Path.of(args[0]);
        final ServerSocketChannel server = listen(socketPath);
        final Object socketIdentity = identity(socketPath);
        signalReady();

        serveUntilIdle(server, key, null, idleMillis);
        // Remove the socket only while it is still ours: a newer service may
        // have been started over a socket it took for dead.
        if (socketIdentity != null && socketIdentity.equals(identity(socketPath)))
            Files.deleteIfExists(socketPath);
        server.close();
        System.exit(0);
    }

    // Serves every connection on its own thread until the service has been idle long enough.
    // A connection over `tcp` (when not null) is served only once it has passed its handshake.
    private static void serveUntilIdle(ServerSocketChannel server, String key, TcpEndpoint tcp,
            long idleMillis) throws IOException {
        final Thread watchdog = new Thread(JadService::watch, "jad-watchdog");
        watchdog.setDaemon(true);
        watchdog.start();

        server.configureBlocking(false);
        try (Selector selector = Selector.open()) {
            server.register(selector, SelectionKey.OP_ACCEPT);
            for (;;) {
                selector.select(1000);
                selector.selectedKeys().clear();
                SocketChannel client;
                while ((client = server.accept()) != null) {
                    client.configureBlocking(true);
                    lastActivity = System.nanoTime();
                    final Connection connection = new Connection(
                            client, System.nanoTime() + REQUEST_READ_LIMIT_MS * 1_000_000L);
                    final Thread worker = new Thread(() -> {
                        if (tcp == null || tcp.handshake(connection.channel)) {
                            serve(connection, key);
                        } else {
                            ACTIVE.remove(connection);
                            close(connection.channel);
                        }
                    }, "jad-request");
                    worker.setDaemon(true);
                    connection.thread = worker;
                    ACTIVE.put(connection, Boolean.TRUE);
                    worker.start();
                }
                final long idle = (System.nanoTime() - lastActivity) / 1_000_000L;
                if (ACTIVE.isEmpty() && idle >= idleMillis) break;
            }
        }
    }

    // The settings Procyon's command line gives when started without options,
    // logging included (only severe records, to stderr, which is /dev/null here).
    private static void configureLogging() {
        final Logger global = Logger.getGlobal();
        final Logger root = Logger.getAnonymousLogger().getParent();
        for (Handler h : global.getHandlers()) global.removeHandler(h);
        for (Handler h : root.getHandlers()) root.removeHandler(h);
        global.setLevel(Level.SEVERE);
        root.setLevel(Level.SEVERE);
        final ConsoleHandler handler = new ConsoleHandler();
        handler.setLevel(Level.SEVERE);
        global.addHandler(handler);
        root.addHandler(handler);
    }

    // Binds under a private name and renames it over the final one, so a
    // client sees either the old socket file or a listening one.
    private static ServerSocketChannel listen(Path socketPath) throws IOException {
        final Path temp = socketPath.resolveSibling(
                socketPath.getFileName() + "." + ProcessHandle.current().pid());
        Files.deleteIfExists(temp);
        final ServerSocketChannel server = ServerSocketChannel.open(StandardProtocolFamily.UNIX);
        server.bind(UnixDomainSocketAddress.of(temp), 16);
        try {
            Files.move(temp, socketPath, StandardCopyOption.REPLACE_EXISTING,
                    StandardCopyOption.ATOMIC_MOVE);
        } catch (IOException e) {
            Files.deleteIfExists(temp);
            throw e;
        }
        return server;
    }

    private static Object identity(Path path) {
        try {
            return Files.readAttributes(path, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS)
                    .fileKey();
        } catch (IOException e) {
            return null;
        }
    }

    private static void signalReady() {
        try (FileOutputStream ready = new FileOutputStream("/proc/self/fd/3")) {
            ready.write('R');
        } catch (IOException e) {
            // jad has stopped waiting; it finds the socket on its next run.
        }
    }

    // Closes connections whose request does not arrive in time, and ends the
    // service when a decompile runs past its time limit.
    private static void watch() {
        for (;;) {
            try {
                Thread.sleep(200);
            } catch (InterruptedException e) {
                return;
            }
            final long now = System.nanoTime();
            for (Connection connection : ACTIVE.keySet()) {
                if (now - connection.deadline < 0) continue;
                // Procyon cannot be stopped from outside; the next jad run
                // starts a new service.
                if (connection.decompiling) Runtime.getRuntime().halt(3);
                ACTIVE.remove(connection);
                close(connection.channel);
                connection.thread.interrupt();
            }
        }
    }

    private static void serve(Connection connection, String key) {
        final SocketChannel client = connection.channel;
        try {
            final ByteBuffer magic = readExactly(client, 4);
            if (!magic.equals(ByteBuffer.wrap(MAGIC))) return;
            final String requestKey = readString(client);
            final long timeoutSeconds = readUnsigned(client);
            final long delayMillis = readUnsigned(client);
            final String path = readString(client);
            final String workingFolder = readString(client);
            if (!requestKey.equals(key)) {
                answer(client, KIND_COLD, "the service belongs to another jad");
                return;
            }
            if (!new File(path).isAbsolute() || !new File(workingFolder).isAbsolute()) {
                answer(client, KIND_COLD, "not an absolute path");
                return;
            }
            connection.deadline =
                    System.nanoTime() + (timeoutSeconds * 1000L + DEADLINE_GRACE_MS) * 1_000_000L;
            byte kind;
            byte[] body;
            DECOMPILE_LOCK.lockInterruptibly();
            connection.decompiling = true;
            try {
                if (delayMillis > 0) Thread.sleep(delayMillis);
                final ByteArrayOutputStream source = new ByteArrayOutputStream();
                final RequestTypeLoader loader = new RequestTypeLoader(new File(workingFolder));
                final String failure = decompile(path, loader, source);
                if (loader.needsColdRun) {
                    kind = KIND_COLD;
                    body = "a class may come from jad's working folder".getBytes(StandardCharsets.UTF_8);
                } else if (failure == null) {
                    kind = KIND_SOURCE;
                    body = source.toByteArray();
                } else {
                    kind = KIND_NO_SOURCE;
                    body = failure.getBytes(Charset.defaultCharset());
                }
            } catch (Throwable t) {
                // Procyon's command line would print part of a source and a
                // stack trace; a cold run gives exactly that.
                kind = KIND_COLD;
                body = String.valueOf(t).getBytes(StandardCharsets.UTF_8);
            } finally {
                connection.decompiling = false;
                DECOMPILE_LOCK.unlock();
            }
            answer(client, kind, body);
        } catch (IOException | RuntimeException | InterruptedException e) {
            // The client went away or sent something else; nothing to answer.
        } finally {
            ACTIVE.remove(connection);
            lastActivity = System.nanoTime();
            close(client);
        }
    }

    // What DecompilerDriver does for one class file named on its command line
    // without options. Returns null when `out` holds the source, else the text
    // Procyon prints on stderr instead of a source.
    private static String decompile(String path, ITypeLoader loader, ByteArrayOutputStream out)
            throws IOException, ReflectiveOperationException {
        final CommandLineOptions options = new CommandLineOptions();
        final DecompilerSettings settings = new DecompilerSettings();
        settings.setFlattenSwitchBlocks(options.getFlattenSwitchBlocks());
        settings.setForceExplicitImports(!options.getCollapseImports());
        settings.setForceExplicitTypeArguments(options.getForceExplicitTypeArguments());
        settings.setRetainRedundantCasts(options.getRetainRedundantCasts());
        settings.setShowSyntheticMembers(options.getShowSyntheticMembers());
        settings.setExcludeNestedTypes(options.getExcludeNestedTypes());
        settings.setOutputDirectory(options.getOutputDirectory());
        settings.setIncludeLineNumbersInBytecode(options.getIncludeLineNumbers());
        settings.setRetainPointlessSwitches(options.getRetainPointlessSwitches());
        settings.setUnicodeOutputEnabled(options.isUnicodeOutputEnabled());
        settings.setMergeVariables(options.getMergeVariables());
        settings.setShowDebugLineNumbers(options.getShowDebugLineNumbers());
        settings.setSimplifyMemberReferences(options.getSimplifyMemberReferences());
        settings.setForceFullyQualifiedReferences(options.getForceFullyQualifiedReferences());
        settings.setDisableForEachTransforms(options.getDisableForEachTransforms());
        settings.setForcedCompilerTarget(options.getCompilerTargetOverride());
        settings.setTextBlockLineMinimum(options.getTextBlockLineMinimum());
        settings.setTypeLoader(new InputTypeLoader(loader));
        settings.setOutputFileHeaderText("\nDecompiled by Procyon v" + Procyon.version() + "\n");
        if (settings.getJavaFormattingOptions() == null)
            settings.setJavaFormattingOptions(JavaFormattingOptions.createDefault());
        final DecompilationOptions decompilation = new DecompilationOptions();
        decompilation.setSettings(settings);
        decompilation.setFullDecompilation(true);

        final MetadataSystem metadata = newMetadataSystem(settings);
        metadata.setEagerMethodLoadingEnabled(options.isEagerMethodLoadingEnabled());
        final TypeReference type = metadata.lookupType(path);
        final TypeDefinition resolved = type == null ? null : type.resolve();
        if (resolved == null) return String.format("!!! ERROR: Failed to load class %s.\n", path);
        DeobfuscationUtilities.processType(resolved);

        final Writer writer = new OutputStreamWriter(out,
                settings.isUnicodeOutputEnabled() ? StandardCharsets.UTF_8 : Charset.defaultCharset());
        final PlainTextOutput output = new AnsiTextOutput(writer,
                options.getUseLightColorScheme() ? AnsiTextOutput.ColorScheme.LIGHT
                                                 : AnsiTextOutput.ColorScheme.DARK);
        output.setUnicodeOutputEnabled(settings.isUnicodeOutputEnabled());
        settings.getLanguage().decompileType(resolved, output, decompilation);
        writer.flush();
        return null;
    }

    // What Procyon's command line finds on its class path (the JDK and the Procyon jars), for
    // every request: the bytes of a class, or an empty array for a name it does not find.
    private static final ClasspathTypeLoader CLASS_PATH = new ClasspathTypeLoader();
    private static final Map<String, byte[]> CLASS_PATH_CACHE = new ConcurrentHashMap<>();
    private static final byte[] NOT_ON_CLASS_PATH = new byte[0];

    // The loader Procyon's InputTypeLoader falls back on for a name it has not found next to
    // the class file: the class path, as in a cold run. A cold run next looks for the name
    // below its working folder; the service runs in an empty folder, so it asks for a cold
    // run whenever such a file exists below jad's.
    private static final class RequestTypeLoader implements ITypeLoader {
        private final File workingFolder;
        boolean needsColdRun;

        RequestTypeLoader(File workingFolder) {
            this.workingFolder = workingFolder;
        }

        @Override
        public boolean tryLoadType(String internalName, Buffer buffer) {
            // The service's own classes are on its class path, not on a cold run's.
            if (!internalName.startsWith("brindle/jad/")) {
                byte[] bytes = CLASS_PATH_CACHE.get(internalName);
                if (bytes == null) {
                    final Buffer fresh = new Buffer();
                    bytes = CLASS_PATH.tryLoadType(internalName, fresh)
                            ? Arrays.copyOf(fresh.array(), fresh.size())
                            : NOT_ON_CLASS_PATH;
                    CLASS_PATH_CACHE.put(internalName, bytes);
                }
                if (bytes != NOT_ON_CLASS_PATH) {
                    buffer.putByteArray(bytes, 0, bytes.length);
                    buffer.flip();
                    return true;
                }
            }
            final String filePath = internalName.replace('/', File.separatorChar) + ".class";
            final int slash = filePath.lastIndexOf(File.separatorChar);
            if (isFile(new File(workingFolder, filePath))
                    || (slash >= 0 && isFile(new File(workingFolder, filePath.substring(slash + 1)))))
                needsColdRun = true;
            return false;
        }

        private static boolean isFile(File file) {
            return file.exists() && !file.isDirectory();
        }
    }

    // The metadata system Procyon's command line uses (it looks a type up at
    // most once per run). Its class is not public.
    private static MetadataSystem newMetadataSystem(DecompilerSettings settings)
            throws ReflectiveOperationException {
        Constructor<? extends MetadataSystem> factory = metadataFactory;
        if (factory == null) {
            factory = Class.forName("com.strobel.decompiler.NoRetryMetadataSystem")
                              .asSubclass(MetadataSystem.class)
                              .getDeclaredConstructor(ITypeLoader.class);
            factory.setAccessible(true);
            metadataFactory = factory;
        }
        return factory.newInstance(settings.getTypeLoader());
    }

    private static void answer(SocketChannel client, byte kind, String text) throws IOException {
        answer(client, kind, text.getBytes(StandardCharsets.UTF_8));
    }

    private static void answer(SocketChannel client, byte kind, byte[] body) throws IOException {
        final ByteBuffer head = ByteBuffer.allocate(9);
        head.put(MAGIC).put(kind).putInt(body.length).flip();
        final ByteBuffer[] parts = {head, ByteBuffer.wrap(body)};
        while (parts[1].hasRemaining()) client.write(parts);
    }

    private static ByteBuffer readExactly(SocketChannel client, int size) throws IOException {
        final ByteBuffer buffer = ByteBuffer.allocate(size);
        while (buffer.hasRemaining()) {
            if (client.read(buffer) < 0) throw new IOException("request cut short");
        }
        return buffer.flip();
    }

    private static long readUnsigned(SocketChannel client) throws IOException {
        return Integer.toUnsignedLong(readExactly(client, 4).getInt());
    }

    private static String readString(SocketChannel client) throws IOException {
        final long length = readUnsigned(client);
        if (length > MAX_FIELD) throw new IOException("request field too long");
        final ByteBuffer bytes = readExactly(client, (int) length);
        return StandardCharsets.UTF_8.newDecoder().decode(bytes).toString();
    }

    private static void close(SocketChannel client) {
        try {
            client.close();
        } catch (IOException e) {
            // Already gone.
        }
    }
}
