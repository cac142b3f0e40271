// The resident side of jad: one Java VM per user that keeps Procyon loaded and
// decompiles class files for later jad runs over a Unix-domain socket (on
// Windows, for Jad.exe runs over loopback TCP).
//
// Started by jad (never by hand) as
//   java ... -cp <Procyon jars>:jad-service.jar brindle.jad.JadService <socket path> <key>
//       <idle seconds> <workers> <results held ahead>
// with stdin, stdout and stderr on /dev/null and fd 3 the write end of jad's
// start-up pipe. Once the socket is listening it writes "R" on that pipe.
// On Windows Jad.exe starts it with tcp:<port file> in place of the socket
// path: it then listens on the loopback address, and every connection passes a
// handshake before its request is read (Transport.Tcp); Jad.exe waits for the
// port file.
// The same jar decompiles one class file without a service (jad's cold run) as
//   java ... -cp <Procyon jars>:jad-service.jar brindle.jad.JadService --cold <class file>
// which prints the source on stdout and exits 0, or prints why there is none
// on stderr and exits 3 (Procyon made no source) or 1 (anything else failed).
// For the benchmark, one VM makes the cold runs' sources of many class files as
//   java ... brindle.jad.JadService --cold-each < lines of "<class file>\t<source file>"
// each with a fresh Procyon, as --cold does; it writes each source made (and
// nothing for a class file without one) and exits 0.
//
// Both run the same code: Procyon with the settings of its own command line
// without options, in a class loader of its own, on a thread of its own, so a
// source is byte for byte the same warm and cold. Where Procyon cannot
// decompile a method it writes the error's stack trace into the source; the
// frames below Procyon's own (this service's, the thread's) are left out of
// it, so the trace does not depend on who called Procyon. Both VMs run with
// -XX:-OmitStackTraceInFastThrow, so that a hot VM keeps the traces too. For
// a package-info.class the source is the package declaration with its
// annotations. The service writes no file but its socket (or port file); jad
// writes the output file.
//
// Protocol, all integers unsigned big-endian, strings UTF-8:
// Request:  "BRJ3" u32 keyLength key u32 timeoutSeconds u32 testDelayMillis
//           u32 length path   (the class file's absolute path)
//           u32 length folder (jad's working folder, absolute)
// A request with another magic, cut short, or with a string over 64 KiB is
// closed without an answer; a request not complete within 10 seconds too.
// Every other request gets two frames, then the service closes the connection:
// Started:  "BRJ3" u8 3 u32 0
//           sent when the decompile of this request begins: after a wait for
//           a free decompiler, or at once when the answer is ready. The
//           client's time limit runs from here; while it waits for this frame
//           the request is only queued.
// Answer:   "BRJ3" u8 kind u32 length bytes   (the length may be 0)
//           kind 0: the source; 1: no source, bytes = what Procyon said instead
//           ("!!! ERROR: Failed to load class <path>.", or the stack trace of
//           the error that stopped it); 2: run cold, bytes = a reason (a request
//           from another jad build or with a relative path, a class that a cold
//           run would find below jad's working folder, a service out of memory)
// Sources and Procyon's words are in the platform's charset (UTF-8 under
// jad's LC_ALL=C.UTF-8); reasons for kind 2 are UTF-8.
// The key names the jad build that started the service; the test delay makes
// the decompile wait that long after "started" (for tests only).
//
// Decompilers: one more than the workers jad says (BRINDLE_JAD_WORKERS), so
// that the workers decompile ahead beside the one for the request in hand; each
// a thread with its own Procyon, started when there is work and none free. A
// request waits for a free one and goes before any work ahead. When two requests come from the same folder within two
// seconds (a folder batch; a single class file opened by itself never does
// this), the free decompilers decompile the folder's other class files ahead,
// from the requested one on in the order the batch walks them (the folder's
// own order), and hold their results, as many as jad says (BRINDLE_JAD_AHEAD;
// the oldest is dropped first). A held result answers a request only while
// the class file, every file Procyon read for it and their folders are
// unchanged (device, inode, size, modification and change time; on Windows,
// which has no change time and gives Java no file identity: size, modification
// and creation time, and a digest of a file's contents); anything else is
// decompiled afresh. Work not begun is dropped when the batch stops
// (no request for two seconds).
//
// A decompile that runs past its time limit cannot be stopped inside
// Procyon, so the service ends itself 5 seconds after it (jad has already given
// up on it, ended the service and reported the class file as timed out).
// After the idle time without work the service removes its socket (or port
// file) and ends.
package brindle.jad;

import java.io.BufferedReader;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;

public final class JadService {
    // The cold mode's exit status when Procyon made no source (why is on stderr); 1 is any
    // other failure.
    static final int NO_SOURCE_EXIT = 3;

    private JadService() {}

    public static void main(String[] args) throws Exception {
        if (args.length == 2 && args[0].equals("--cold")) System.exit(cold(args[1]));
        if (args.length == 1 && args[0].equals("--cold-each")) System.exit(coldEach());
        if (args.length != 5) System.exit(2);
        final String endpoint = args[0];
        final String key = args[1];
        final long idleMillis = Long.parseLong(args[2]) * 1000L;
        // The workers decompile ahead of a batch beside the decompiler for the request in hand;
        // any free one takes a request first.
        final int decompilers = Math.max(1, Integer.parseInt(args[3])) + 1;
        final int ahead = Math.max(0, Integer.parseInt(args[4]));

        Decompile.configureLogging();
        final Scheduler scheduler =
                new Scheduler(decompilers, ahead, Scheduler.BATCH_GAP_MS, ProcyonLoader::newEngine);
        final Service service = new Service(key, scheduler);
        if (endpoint.startsWith(Transport.Tcp.PREFIX)) {
            try (Transport transport =
                         Transport.Tcp.listen(Path.of(endpoint.substring(Transport.Tcp.PREFIX.length())))) {
                transport.serve(service, idleMillis);
            }
        } else {
            try (Transport transport = Transport.Unix.listen(Path.of(endpoint))) {
                signalReady();
                transport.serve(service, idleMillis);
            }
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
        return answer.kind == Answer.NO_SOURCE ? NO_SOURCE_EXIT : 1;
    }

    private static int coldEach() throws IOException, InterruptedException {
        final BufferedReader in = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8));
        System.setOut(new PrintStream(OutputStream.nullOutputStream()));
        System.setErr(new PrintStream(OutputStream.nullOutputStream()));
        Decompile.configureLogging();
        for (String line; (line = in.readLine()) != null;) {
            final int tab = line.indexOf('\t');
            if (tab < 0) continue;
            final Answer answer = Decompile.once(line.substring(0, tab));
            if (answer.kind != Answer.SOURCE) continue;
            final Path source = Path.of(line.substring(tab + 1));
            Files.createDirectories(source.toAbsolutePath().getParent());
            Files.write(source, answer.body);
        }
        return 0;
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
