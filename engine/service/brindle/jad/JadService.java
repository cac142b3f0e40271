// The resident side of jad: one Java VM per user that keeps Procyon loaded and
// decompiles class files for later jad runs over a Unix-domain socket.
//
// Started by jad (never by hand) as
//   java ... -cp <Procyon jars>:jad-service.jar brindle.jad.JadService <socket path> <key> <idle seconds>
// with stdin, stdout and stderr on /dev/null and fd 3 the write end of jad's
// start-up pipe. Once the socket is listening it writes "R" on that pipe.
// The same jar decompiles one class file without a service (jad's cold run) as
//   java ... -cp <Procyon jars>:jad-service.jar brindle.jad.JadService --cold <class file>
// which prints the source on stdout and exits 0, or prints why there is none
// on stderr and exits 1.
//
// Both run the same code: Procyon with the settings of its own command line
// without options, in a class loader of its own, on a thread of its own, so a
// source is byte for byte the same warm and cold. Where Procyon cannot
// decompile a method it writes the error's stack trace into the source; the
// frames below Procyon's own (this service's, the thread's) are left out of
// it, so the trace does not depend on who called Procyon. Both VMs run with
// -XX:-OmitStackTraceInFastThrow, so that a hot VM keeps the traces too. For
// a package-info.class the source is the package declaration with its
// annotations. The service writes no file but its socket; jad writes the
// output file.
//
// Protocol, all integers unsigned big-endian, strings UTF-8:
// Request:  "BRJ3" u32 keyLength key u32 timeoutSeconds u32 testDelayMillis
//           u32 length path   (the class file's absolute path)
//           u32 length folder (jad's working folder, absolute)
// A request with another magic is closed without an answer. Every other
// request gets two frames, then the service closes the connection:
// Started:  "BRJ3" u8 3 u32 0
//           sent when the decompile of this request begins: after a wait for
//           a free decompiler, or at once when the answer is ready. The
//           client's time limit runs from here; while it waits for this frame
//           the request is only queued.
// Answer:   "BRJ3" u8 kind u32 length bytes   (the length may be 0)
//           kind 0: the source; 1: no source, bytes = what Procyon printed on
//           stderr; 2: run cold, bytes = a reason (a request from another jad
//           build, a class that a cold run would find below jad's working
//           folder, a service out of memory)
// The key names the jad build that started the service; the test delay makes
// the decompile wait that long after "started" (for tests only).
//
// Decompilers: BRINDLE_JAD_WORKERS (default: the cores less one, at least
// one), each with its own Procyon. A request waits for a free one. When two
// requests come from the same folder in quick succession (a folder batch; a
// single class file opened by itself never does this), the free decompilers
// decompile the folder's other class files ahead, in the order the batch
// walks them, and hold up to BRINDLE_JAD_AHEAD results (64; the oldest is
// dropped first). A held result answers a request only while the class file
// and every file Procyon read for it are unchanged (device, inode, size,
// modification and change time); anything else is decompiled afresh. Work
// not begun is dropped when the batch stops.
//
// A decompile that runs past its time limit cannot be stopped inside
// Procyon, so the service ends itself a little later (jad has already given
// up on it, ended the service and reported the class file as timed out).
// After the idle time without work the service removes its socket and ends.
package brindle.jad;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;

public final class JadService {
    private JadService() {}

    public static void main(String[] args) throws Exception {
        if (args.length == 2 && args[0].equals("--cold")) System.exit(cold(args[1]));
        if (args.length != 3) System.exit(2);
        final Path socketPath = Path.of(args[0]);
        final String key = args[1];
        final long idleMillis = Long.parseLong(args[2]) * 1000L;

        Decompile.configureLogging();
        final Scheduler scheduler = new Scheduler(
                setting("BRINDLE_JAD_WORKERS", 1, 256,
                        Math.max(1, Runtime.getRuntime().availableProcessors() - 1)),
                setting("BRINDLE_JAD_AHEAD", 0, 4096, 64), Scheduler.BATCH_GAP_MS,
                ProcyonLoader::newEngine);
        final Service service = new Service(key, scheduler);
        try (Transport.Unix transport = Transport.Unix.listen(socketPath)) {
            signalReady();
            transport.serve(service, idleMillis);
        }
        System.exit(0);
    }

    // One class file in this VM: the source on stdout, or the reason on stderr.
    private static int cold(String classFile) throws InterruptedException {
        final PrintStream out = System.out;
        final PrintStream err = System.err;
        // Whatever Procyon prints by itself goes nowhere, as in the service.
        final PrintStream nowhere = new PrintStream(OutputStream.nullOutputStream());
        System.setOut(nowhere);
        System.setErr(nowhere);
        Decompile.configureLogging();
        final Answer answer = Decompile.once(classFile);
        if (answer.kind == Answer.SOURCE) {
            out.write(answer.body, 0, answer.body.length);
            out.flush();
            return out.checkError() ? 1 : 0;
        }
        err.write(answer.body, 0, answer.body.length);
        err.flush();
        return 1;
    }

    // A whole number from the environment, or the default when unset or out of range
    // (jad refuses such values before it starts the service).
    private static int setting(String name, int low, int high, int fallback) {
        final String text = System.getenv(name);
        if (text == null || text.isEmpty()) return fallback;
        try {
            final int value = Integer.parseInt(text);
            return value >= low && value <= high ? value : fallback;
        } catch (NumberFormatException e) {
            return fallback;
        }
    }

    // Only into a pipe: started any other way, fd 3 may be a file the VM itself opened.
    private static void signalReady() {
        final Path ready = Path.of("/proc/self/fd/3");
        try {
            if (!Files.readSymbolicLink(ready).toString().startsWith("pipe:")) return;
            try (FileOutputStream out = new FileOutputStream(ready.toFile(), true)) {
                out.write('R');
            }
        } catch (IOException e) {
            // jad has stopped waiting; it finds the socket on its next run.
        }
    }
}
