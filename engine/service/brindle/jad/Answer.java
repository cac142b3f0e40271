package brindle.jad;

import java.nio.charset.StandardCharsets;
import java.util.List;

// What the service answers for one class file, and what it was made from.
final class Answer {
    static final byte SOURCE = 0;
    static final byte NO_SOURCE = 1;
    static final byte COLD = 2;

    final byte kind;
    final byte[] body;
    // The files the answer was decompiled from as they were then; empty when
    // the answer may not be held for a later request.
    final List<FileStamp> madeFrom;

    Answer(byte kind, byte[] body, List<FileStamp> madeFrom) {
        this.kind = kind;
        this.body = body;
        this.madeFrom = madeFrom;
    }

    static Answer cold(String reason) {
        return new Answer(COLD, reason.getBytes(StandardCharsets.UTF_8), List.of());
    }

    boolean canBeHeld() {
        return kind != COLD && !madeFrom.isEmpty();
    }

    // True while every file it was made from is unchanged.
    boolean stillTrue() {
        if (madeFrom.isEmpty()) return false;
        for (FileStamp stamp : madeFrom) {
            if (!stamp.unchanged()) return false;
        }
        return true;
    }
}
