package brindle.jad;

import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.channels.ReadableByteChannel;
import java.nio.channels.WritableByteChannel;
import java.nio.charset.StandardCharsets;

// The frames of the protocol described in JadService, over any byte stream.
final class Protocol {
    static final byte[] MAGIC = {'B', 'R', 'J', '3'};
    static final byte STARTED = 3;
    private static final int MAX_FIELD = 64 * 1024;

    record Request(String key, long timeoutSeconds, long delayMillis, String classFile,
                   String workingFolder) {}

    private Protocol() {}

    // Null when the request starts with another magic (another protocol).
    static Request read(ReadableByteChannel in) throws IOException {
        if (!readExactly(in, MAGIC.length).equals(ByteBuffer.wrap(MAGIC))) return null;
        final String key = readString(in);
        final long timeoutSeconds = readUnsigned(in);
        final long delayMillis = readUnsigned(in);
        final String classFile = readString(in);
        final String workingFolder = readString(in);
        return new Request(key, timeoutSeconds, delayMillis, classFile, workingFolder);
    }

    static void started(WritableByteChannel out) throws IOException {
        answer(out, STARTED, new byte[0]);
    }

    static void answer(WritableByteChannel out, byte kind, String text) throws IOException {
        answer(out, kind, text.getBytes(StandardCharsets.UTF_8));
    }

    // The header always, then the body, which may be empty.
    static void answer(WritableByteChannel out, byte kind, byte[] body) throws IOException {
        final ByteBuffer frame = ByteBuffer.allocate(MAGIC.length + 5 + body.length);
        frame.put(MAGIC).put(kind).putInt(body.length).put(body).flip();
        while (frame.hasRemaining()) out.write(frame);
    }

    private static ByteBuffer readExactly(ReadableByteChannel in, int size) throws IOException {
        final ByteBuffer buffer = ByteBuffer.allocate(size);
        while (buffer.hasRemaining()) {
            if (in.read(buffer) < 0) throw new IOException("request cut short");
        }
        return buffer.flip();
    }

    private static long readUnsigned(ReadableByteChannel in) throws IOException {
        return Integer.toUnsignedLong(readExactly(in, 4).getInt());
    }

    private static String readString(ReadableByteChannel in) throws IOException {
        final long length = readUnsigned(in);
        if (length > MAX_FIELD) throw new IOException("request field too long");
        return StandardCharsets.UTF_8.newDecoder().decode(readExactly(in, (int) length)).toString();
    }
}
