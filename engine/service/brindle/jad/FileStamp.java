package brindle.jad;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.FileTime;
import java.security.DigestInputStream;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.List;
import java.util.Map;
import java.util.Objects;

// A file as it is at one moment: any write, truncation, replacement, rename over it or
// change of its attributes gives another stamp.
//
// Where the file system has Unix attributes: device, inode, size, modification and change
// time (the change time cannot be set back by anyone). Elsewhere (Windows) there is no change
// time and Java gives no file identity (fileKey() is null), while a copy keeps the modification
// time and a file written anew within seconds of the old one's deletion takes over its
// creation time: a regular file is then also stamped with a digest of its contents, beside
// its size, modification and creation time; a folder, whose modification time moves whenever
// an entry is added, removed or renamed in it, with those times.
final class FileStamp {
    private static final boolean UNIX = FileSystems.getDefault().supportedFileAttributeViews().contains("unix");

    final Path path;
    private final List<Object> identity;  // what must be equal beside the times
    private final FileTime modified;
    private final FileTime changed;       // the change time, or where there is none the creation time
    private final boolean unix;           // made from Unix attributes (else with a digest)

    private FileStamp(Path path, List<Object> identity, FileTime modified, FileTime changed, boolean unix) {
        this.path = path;
        this.identity = identity;
        this.modified = modified;
        this.changed = changed;
        this.unix = unix;
    }

    // Null when the file cannot be read.
    static FileStamp of(Path path) {
        return UNIX ? unix(path) : withoutUnixAttributes(path);
    }

    static FileStamp unix(Path path) {
        try {
            final Map<String, Object> a = Files.readAttributes(path, "unix:dev,ino,size,lastModifiedTime,ctime");
            return new FileStamp(path, Arrays.asList(a.get("dev"), a.get("ino"), a.get("size")),
                                 (FileTime) a.get("lastModifiedTime"), (FileTime) a.get("ctime"), true);
        } catch (IOException | UnsupportedOperationException | IllegalArgumentException e) {
            return null;
        }
    }

    static FileStamp withoutUnixAttributes(Path path) {
        try {
            final BasicFileAttributes a = Files.readAttributes(path, BasicFileAttributes.class);
            final String digest = a.isRegularFile() ? digest(path) : null;
            final BasicFileAttributes after = Files.readAttributes(path, BasicFileAttributes.class);
            // Written while it was read: its digest may be of neither version.
            if (!after.lastModifiedTime().equals(a.lastModifiedTime()) || after.size() != a.size()) return null;
            return new FileStamp(path,
                                 Arrays.asList(a.fileKey(), a.size(), a.isDirectory(), digest),
                                 a.lastModifiedTime(), a.creationTime(), false);
        } catch (IOException | RuntimeException e) {
            return null;
        }
    }

    private static String digest(Path path) throws IOException {
        final MessageDigest sha256;
        try {
            sha256 = MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            throw new IOException(e);
        }
        try (InputStream in = new DigestInputStream(Files.newInputStream(path), sha256)) {
            final byte[] buffer = new byte[64 * 1024];
            while (in.read(buffer) >= 0) {
                // digesting
            }
        }
        return HexFormat.of().formatHex(sha256.digest());
    }

    // Changed at or after `millis` (wall clock), give or take the file system's clock steps (a
    // later change within the same step would leave the stamp as it is): a second, or two
    // where FAT may keep the times.
    boolean changedSince(long millis) {
        final long step = unix ? 1000 : 2000;
        return changed.toMillis() >= millis - step || modified.toMillis() >= millis - step;
    }

    boolean unchanged() {
        return equals(unix ? unix(path) : withoutUnixAttributes(path));
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof FileStamp s && unix == s.unix && path.equals(s.path) && identity.equals(s.identity)
                && modified.equals(s.modified) && changed.equals(s.changed);
    }

    @Override
    public int hashCode() {
        return Objects.hash(path, identity, modified);
    }
}
