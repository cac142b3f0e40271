package brindle.jad;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNotNull;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.FileTime;
import java.util.Collections;
import java.util.function.Function;
import org.junit.After;
import org.junit.Before;
import org.junit.Test;

// File stamps as the service takes them here (Unix attributes) and as it takes them where
// there are none (Windows), on real files. Every change is made so that size and modification
// time stay as they were: only what each kind of stamp holds beside them can tell.
public class FileStampTest {
    private Path folder;

    @Before
    public void makeFolder() throws IOException {
        folder = Files.createTempDirectory("brindle-file-stamp-test");
    }

    @After
    public void removeFolder() throws IOException {
        try (var files = Files.walk(folder)) {
            files.sorted(Collections.reverseOrder()).map(Path::toFile).forEach(File::delete);
        }
    }

    private interface Change {
        void apply(Path file) throws IOException;
    }

    private static final java.util.List<Function<Path, FileStamp>> KINDS =
            java.util.List.of(FileStamp::unix, FileStamp::withoutUnixAttributes);

    @Test
    public void eitherKindSeesEveryChangeThatKeepsSizeAndModificationTime() throws Exception {
        final Change[] changes = {
            // Rewritten in place.
            file -> Files.writeString(file, "class B", StandardCharsets.UTF_8),
            // Another file of the same size renamed over it.
            file -> {
                final Path other = file.resolveSibling("other");
                Files.writeString(other, "class C", StandardCharsets.UTF_8);
                Files.move(other, file, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
            },
        };
        for (int k = 0; k < KINDS.size(); k++) {
            final Function<Path, FileStamp> kind = KINDS.get(k);
            for (int i = 0; i < changes.length; i++) {
                final Path file = folder.resolve("A" + k + i + ".class");
                Files.writeString(file, "class A", StandardCharsets.UTF_8);
                final FileTime modified = FileTime.fromMillis(System.currentTimeMillis() - 60_000);
                Files.setLastModifiedTime(file, modified);
                final FileStamp before = kind.apply(file);
                assertNotNull(before);
                assertTrue(before.unchanged());
                assertEquals(before, kind.apply(file));

                changes[i].apply(file);
                Files.setLastModifiedTime(file, modified);
                assertEquals(7, Files.size(file));
                assertFalse("kind " + k + ", change " + i + " went unseen", before.unchanged());
            }
        }
    }

    @Test
    public void aFolderStampChangesWithItsEntries() throws Exception {
        for (int k = 0; k < KINDS.size(); k++) {
            final Function<Path, FileStamp> kind = KINDS.get(k);
            final Path sub = Files.createDirectory(folder.resolve("sub" + k));
            Files.setLastModifiedTime(sub, FileTime.fromMillis(System.currentTimeMillis() - 60_000));
            final FileStamp before = kind.apply(sub);
            assertTrue(before.unchanged());
            Files.writeString(sub.resolve("Added.class"), "x");
            assertFalse(before.unchanged());
        }
    }

    // Without Unix attributes the times may be FAT's, in steps of two seconds: a file written
    // less than two seconds before a decompile began may change again unseen.
    @Test
    public void withoutUnixAttributesAChangeWithinTwoSecondsCountsAsRecent() throws Exception {
        final Path file = folder.resolve("A.class");
        Files.writeString(file, "class A");
        final long now = System.currentTimeMillis();
        Files.setLastModifiedTime(file, FileTime.fromMillis(now - 1_500));
        assertTrue(FileStamp.withoutUnixAttributes(file).changedSince(now));
        Files.setLastModifiedTime(file, FileTime.fromMillis(now - 2_500));
        // Older than that it counts as older, unless its creation time (where the file system
        // keeps one: this file was created just now) is recent.
        final FileTime created = Files.readAttributes(file, BasicFileAttributes.class).creationTime();
        assertEquals(created.toMillis() >= now - 2_000, FileStamp.withoutUnixAttributes(file).changedSince(now));
    }
}
