package brindle.jad.procyon;

import com.strobel.assembler.metadata.ITypeLoader;
import com.strobel.assembler.metadata.MetadataSystem;
import com.strobel.assembler.metadata.TypeDefinition;
import java.util.HashSet;
import java.util.Set;

// The types of one class file's decompile, as Procyon's command line keeps them: a name not
// found is not looked for again. With kept class path types, a name the class path has is
// taken from there; the caller checks afterwards that a cold run would have read the same.
final class RequestTypes extends MetadataSystem {
    private final ClassPathTypes kept;
    private final Set<String> failed = new HashSet<>();

    RequestTypes(ITypeLoader loader, ClassPathTypes kept) {
        super(loader);
        this.kept = kept;
    }

    @Override
    protected TypeDefinition resolveType(String descriptor, boolean mightBePrimitive) {
        if (failed.contains(descriptor)) return null;
        TypeDefinition type = null;
        // Only a plain internal name: a path, a dotted name or a descriptor is read as given.
        if (kept != null && descriptor.indexOf('.') < 0 && descriptor.indexOf('\\') < 0
                && descriptor.indexOf(';') < 0 && descriptor.indexOf('[') < 0 && !descriptor.startsWith("/"))
            type = kept.find(descriptor, mightBePrimitive);
        if (type == null) type = super.resolveType(descriptor, mightBePrimitive);
        if (type == null) failed.add(descriptor);
        return type;
    }
}
