package brindle.jad;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.FileTime;
import java.util.Map;
import java.util.Objects;

// A file as it is at one moment: device, inode, size, modification and change time.
// Any write, truncation, replacement, rename over it or change of its attributes
// gives another stamp.
final class FileStamp {
    final Path path;
    private final Object device;
    private final Object inode;
    private final Object size;
    private final FileTime modified;
    private final FileTime changed;

    private FileStamp(Path path, Map<String, Object> attributes) {
        this.path = path;
        device = attributes.get("dev");
        inode = attributes.get("ino");
        size = attributes.get("size");
        modified = (FileTime) attributes.get("lastModifiedTime");
        changed = (FileTime) attributes.get("ctime");
    }

    // Null when the file cannot be read.
    static FileStamp of(Path path) {
        try {
            return new FileStamp(path, Files.readAttributes(path, "unix:dev,ino,size,lastModifiedTime,ctime"));
        } catch (IOException | UnsupportedOperationException | IllegalArgumentException e) {
            return null;
        }
    }

    // Changed at or after `millis` (wall clock), give or take the file system's clock steps.
    boolean changedSince(long millis) {
        return changed.toMillis() >= millis - 1000 || modified.toMillis() >= millis - 1000;
    }

    boolean unchanged() {
        return equals(of(path));
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof FileStamp s && path.equals(s.path) && device.equals(s.device)
                && inode.equals(s.inode) && size.equals(s.size) && modified.equals(s.modified)
                && changed.equals(s.changed);
    }

    @Override
    public int hashCode() {
        return Objects.hash(path, inode, modified);
    }
}
