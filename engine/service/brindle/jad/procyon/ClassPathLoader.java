package brindle.jad.procyon;

import brindle.jad.Engine;
import com.strobel.assembler.metadata.Buffer;
import com.strobel.assembler.metadata.ClasspathTypeLoader;
import com.strobel.assembler.metadata.ITypeLoader;
import java.util.Arrays;

// The types a cold run finds on its class path (the JDK's and Procyon's), their bytes read once
// for every decompiler (Engine.CLASS_PATH). The service's own classes are not on a cold run's
// class path.
final class ClassPathLoader implements ITypeLoader {
    private final ClasspathTypeLoader classPath = new ClasspathTypeLoader();

    @Override
    public boolean tryLoadType(String internalName, Buffer buffer) {
        final byte[] bytes = bytes(internalName);
        if (bytes.length == 0) return false;
        buffer.putByteArray(bytes, 0, bytes.length);
        buffer.flip();
        return true;
    }

    boolean has(String internalName) {
        return bytes(internalName).length > 0;
    }

    // Empty for a name the class path does not have.
    private byte[] bytes(String internalName) {
        if (internalName.startsWith("brindle/jad/")) return new byte[0];
        byte[] bytes = Engine.CLASS_PATH.get(internalName);
        if (bytes == null) {
            final Buffer fresh = new Buffer();
            bytes = classPath.tryLoadType(internalName, fresh) ? Arrays.copyOf(fresh.array(), fresh.size())
                                                                : new byte[0];
            Engine.CLASS_PATH.put(internalName, bytes);
        }
        return bytes;
    }
}
