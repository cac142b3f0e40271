package brindle.jad.procyon;

import brindle.jad.Engine;
import com.strobel.Procyon;
import com.strobel.assembler.InputTypeLoader;
import com.strobel.assembler.metadata.Buffer;
import com.strobel.assembler.metadata.DeobfuscationUtilities;
import com.strobel.assembler.metadata.ITypeLoader;
import com.strobel.assembler.metadata.MetadataSystem;
import com.strobel.assembler.metadata.TypeDefinition;
import com.strobel.assembler.metadata.TypeReference;
import com.strobel.decompiler.AnsiTextOutput;
import com.strobel.decompiler.CommandLineOptions;
import com.strobel.decompiler.DecompilationOptions;
import com.strobel.decompiler.DecompilerSettings;
import com.strobel.decompiler.PlainTextOutput;
import com.strobel.decompiler.languages.java.JavaFormattingOptions;
import java.io.File;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.lang.reflect.Field;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Set;

// Procyon's command line without options, for one class file at a time. Loaded
// once per decompiler by its own ProcyonLoader (see brindle.jad.Engine).
public final class ProcyonEngine implements Engine {
    private final ClassPathLoader classPath = new ClassPathLoader();
    private final Field knownFiles;
    private final Field packageFolders;
    // The class path's types kept from one class file to the next; null when this Procyon's
    // loader cannot be looked into (each class file then reads every type afresh).
    private ClassPathTypes classPathTypes;

    public ProcyonEngine() throws ReflectiveOperationException {
        knownFiles = loaderField("_knownFiles");  // without it, answers are not held for later
        packageFolders = loaderField("_packageLocations");
        if (knownFiles != null && packageFolders != null) classPathTypes = newClassPathTypes();
    }

    private ClassPathTypes newClassPathTypes() {
        final ClassPathTypes types = new ClassPathTypes(classPath, OldGeneration.HEAP);
        types.setEagerMethodLoadingEnabled(new CommandLineOptions().isEagerMethodLoadingEnabled());
        return types;
    }

    private static Field loaderField(String name) {
        try {
            final Field field = InputTypeLoader.class.getDeclaredField(name);
            field.setAccessible(true);
            return field;
        } catch (ReflectiveOperationException | RuntimeException e) {
            return null;  // another Procyon
        }
    }

    @Override
    public Result decompile(String classFile, String workingFolder) throws Exception {
        final ClassPathTypes kept = classPathTypes;
        if (kept == null) return decompile(classFile, workingFolder, null).result;
        final int misses = kept.misses();
        final Attempt attempt = decompile(classFile, workingFolder, kept);
        if (kept.full()) classPathTypes = newClassPathTypes();
        // A cold run would have looked for a name among this request's files: decompile it
        // the way a cold run does.
        if (kept.misses() != misses || kept.shadowedBy(packageFolders(attempt.loader), knownNames(attempt.loader)))
            return decompile(classFile, workingFolder, null).result;
        return attempt.result;
    }

    private record Attempt(Result result, InputTypeLoader loader) {}

    // One decompile; with `kept`, the class path's types come from there.
    private Attempt decompile(String classFile, String workingFolder, ClassPathTypes kept) throws Exception {
        final CommandLineOptions options = new CommandLineOptions();
        final DecompilerSettings settings = new DecompilerSettings();
        settings.setFlattenSwitchBlocks(options.getFlattenSwitchBlocks());
        settings.setForceExplicitImports(!options.getCollapseImports());
        settings.setForceExplicitTypeArguments(options.getForceExplicitTypeArguments());
        settings.setRetainRedundantCasts(options.getRetainRedundantCasts());
        settings.setShowSyntheticMembers(options.getShowSyntheticMembers());
        settings.setExcludeNestedTypes(options.getExcludeNestedTypes());
        settings.setOutputDirectory(options.getOutputDirectory());
        settings.setIncludeLineNumbersInBytecode(options.getIncludeLineNumbers());
        settings.setRetainPointlessSwitches(options.getRetainPointlessSwitches());
        settings.setUnicodeOutputEnabled(options.isUnicodeOutputEnabled());
        settings.setMergeVariables(options.getMergeVariables());
        settings.setShowDebugLineNumbers(options.getShowDebugLineNumbers());
        settings.setSimplifyMemberReferences(options.getSimplifyMemberReferences());
        settings.setForceFullyQualifiedReferences(options.getForceFullyQualifiedReferences());
        settings.setDisableForEachTransforms(options.getDisableForEachTransforms());
        settings.setForcedCompilerTarget(options.getCompilerTargetOverride());
        settings.setTextBlockLineMinimum(options.getTextBlockLineMinimum());
        final RequestTypeLoader requestLoader = new RequestTypeLoader(
                workingFolder == null ? null : new File(workingFolder));
        final InputTypeLoader inputLoader = new InputTypeLoader(requestLoader);
        settings.setTypeLoader(inputLoader);
        settings.setOutputFileHeaderText("\nDecompiled by Procyon v" + Procyon.version() + "\n");
        if (settings.getJavaFormattingOptions() == null)
            settings.setJavaFormattingOptions(JavaFormattingOptions.createDefault());
        final DecompilationOptions decompilation = new DecompilationOptions();
        decompilation.setSettings(settings);
        decompilation.setFullDecompilation(true);

        final MetadataSystem metadata = new RequestTypes(settings.getTypeLoader(), kept);
        metadata.setEagerMethodLoadingEnabled(options.isEagerMethodLoadingEnabled());
        final TypeReference type = metadata.lookupType(classFile);
        final TypeDefinition resolved = type == null ? null : type.resolve();
        if (resolved == null) {
            return new Attempt(new Result((byte) 1, String.format("!!! ERROR: Failed to load class %s.\n",
                    classFile), false, List.of()), inputLoader);
        }
        final boolean packageInfo = resolved.isInterface()
                && resolved.getInternalName().matches("(.*/)?package-info");

        final StringWriter source = new StringWriter();
        byte kind = 0;
        String text;
        try {
            DeobfuscationUtilities.processType(resolved);
            final PlainTextOutput output = new AnsiTextOutput(source,
                    options.getUseLightColorScheme() ? AnsiTextOutput.ColorScheme.LIGHT
                                                     : AnsiTextOutput.ColorScheme.DARK);
            output.setUnicodeOutputEnabled(settings.isUnicodeOutputEnabled());
            settings.getLanguage().decompileType(resolved, output, decompilation);
            text = source.toString();
        } catch (VirtualMachineError e) {
            throw e;
        } catch (Throwable t) {
            // Procyon's command line prints part of a source and this trace; there is no
            // whole source to write.
            final StringWriter trace = new StringWriter();
            t.printStackTrace(new PrintWriter(trace));
            kind = 1;
            text = trace.toString();
        }
        if (requestLoader.needsColdRun) {
            return new Attempt(new Result((byte) 2, "a class may come from jad's working folder", false,
                    List.of()), inputLoader);
        }
        return new Attempt(new Result(kind, text, packageInfo, readFiles(inputLoader)), inputLoader);
    }

    @SuppressWarnings("unchecked")
    private Set<String> knownNames(InputTypeLoader loader) throws ReflectiveOperationException {
        return ((Map<String, File>) knownFiles.get(loader)).keySet();
    }

    @SuppressWarnings("unchecked")
    private Map<String, ? extends Set<File>> packageFolders(InputTypeLoader loader)
            throws ReflectiveOperationException {
        return (Map<String, ? extends Set<File>>) packageFolders.get(loader);
    }

    // The class files Procyon read, or an empty list when that is not known.
    @SuppressWarnings("unchecked")
    private List<File> readFiles(InputTypeLoader loader) {
        if (knownFiles == null) return List.of();
        try {
            final List<File> files = new ArrayList<>();
            for (File file : ((Map<String, File>) knownFiles.get(loader)).values())
                files.add(file.getAbsoluteFile());
            return files;
        } catch (ReflectiveOperationException | RuntimeException e) {
            return List.of();
        }
    }

    // The loader Procyon's InputTypeLoader falls back on for a name it has not found next to
    // the class file: the class path, as in a cold run. A cold run next looks for the name
    // below its working folder; the service runs in an empty folder, so it asks for a cold
    // run whenever such a file exists below jad's.
    private final class RequestTypeLoader implements ITypeLoader {
        private final File workingFolder;
        boolean needsColdRun;

        RequestTypeLoader(File workingFolder) {
            this.workingFolder = workingFolder;
        }

        @Override
        public boolean tryLoadType(String internalName, Buffer buffer) {
            // The service's own classes are on its class path, not on a cold run's.
            if (classPath.tryLoadType(internalName, buffer)) return true;
            if (workingFolder == null) return false;
            final String filePath = internalName.replace('/', File.separatorChar) + ".class";
            final int slash = filePath.lastIndexOf(File.separatorChar);
            if (isFile(new File(workingFolder, filePath))
                    || (slash >= 0 && isFile(new File(workingFolder, filePath.substring(slash + 1)))))
                needsColdRun = true;
            return false;
        }

        private boolean isFile(File file) {
            return file.exists() && !file.isDirectory();
        }
    }
}
