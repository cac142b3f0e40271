package brindle.jad;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertThrows;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.channels.Channels;
import java.nio.charset.StandardCharsets;
import org.junit.Test;

public class ProtocolTest {
    private static byte[] frame(byte kind, byte[] body) throws IOException {
        final ByteArrayOutputStream out = new ByteArrayOutputStream();
        Protocol.answer(Channels.newChannel(out), kind, body);
        return out.toByteArray();
    }

    @Test
    public void everyAnswerHasItsHeaderAnEmptyBodyIncluded() throws IOException {
        assertArrayEquals(new byte[] {'B', 'R', 'J', '3', 1, 0, 0, 0, 0}, frame(Answer.NO_SOURCE, new byte[0]));
        assertArrayEquals(new byte[] {'B', 'R', 'J', '3', 0, 0, 0, 0, 2, 'x', '\n'},
                          frame(Answer.SOURCE, "x\n".getBytes(StandardCharsets.UTF_8)));
        final ByteArrayOutputStream started = new ByteArrayOutputStream();
        Protocol.started(Channels.newChannel(started));
        assertArrayEquals(new byte[] {'B', 'R', 'J', '3', 3, 0, 0, 0, 0}, started.toByteArray());
        // A body past 64 KiB arrives whole.
        final byte[] big = new byte[300_000];
        big[big.length - 1] = 7;
        final byte[] sent = frame(Answer.SOURCE, big);
        assertEquals(9 + big.length, sent.length);
        assertEquals(big.length, ByteBuffer.wrap(sent, 5, 4).getInt());
        assertEquals(7, sent[sent.length - 1]);
    }

    private static byte[] request(String magic, String key, int timeout, int delay, String path, String folder) {
        final ByteBuffer b = ByteBuffer.allocate(1024);
        b.put(magic.getBytes(StandardCharsets.UTF_8));
        for (String field : new String[] {key, null, path, folder}) {
            if (field == null) {
                b.putInt(timeout).putInt(delay);
                continue;
            }
            final byte[] bytes = field.getBytes(StandardCharsets.UTF_8);
            b.putInt(bytes.length).put(bytes);
        }
        return java.util.Arrays.copyOf(b.array(), b.position());
    }

    private static Protocol.Request read(byte[] bytes) throws IOException {
        return Protocol.read(Channels.newChannel(new ByteArrayInputStream(bytes)));
    }

    @Test
    public void readsARequestOfThisProtocolOnly() throws IOException {
        final Protocol.Request r = read(request("BRJ3", "key", 0xFFFFFFFF, 25, "/源/A.class", "/w"));
        assertEquals(new Protocol.Request("key", 0xFFFFFFFFL, 25, "/源/A.class", "/w"), r);
        assertNull(read(request("BRJ2", "key", 1, 0, "/A.class", "/w")));
        final byte[] whole = request("BRJ3", "key", 1, 0, "/A.class", "/w");
        assertThrows(IOException.class, () -> read(java.util.Arrays.copyOf(whole, whole.length - 1)));
        final ByteBuffer tooLong = ByteBuffer.allocate(8).put("BRJ3".getBytes(StandardCharsets.UTF_8)).putInt(65 * 1024);
        assertThrows(IOException.class, () -> read(tooLong.array()));
    }
}
